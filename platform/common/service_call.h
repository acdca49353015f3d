// How long the platform waits for a system service (NetworkManager, ModemManager) and what
// stops a wait early. Shared with the modules that talk to them, so it is plain data.
#pragma once

namespace orvane_platform {

struct service_call {
    // A service that gives no answer within this is treated as one that is not running.
    int timeout_ms = 10000;
    // Non-zero: a signal asks the program to end, and the wait stops at once.
    int (*ending)() noexcept = nullptr;
};

// The limits every call of the program makes: the timeout above, stopped by the display's
// ending signals.
service_call service_limits() noexcept;

}  // namespace orvane_platform
