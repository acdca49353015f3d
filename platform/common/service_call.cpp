#include "service_call.h"

#include "../display/display.h"

namespace orvane_platform {

service_call service_limits() noexcept {
    service_call limits;
    limits.ending = ending_signal;
    return limits;
}

}  // namespace orvane_platform
