// Waiting for a system service's answer on a GLib main context of our own, within the
// call's limits. Only the service modules, which link GLib, include this.
#pragma once

#include <glib.h>

#include <string>

#include "service_call.h"

namespace orvane_platform {

// A main context that is the thread's default while it lives, so that the calls started
// meanwhile answer on it and nowhere else; woken a few times a second, so that a wait sees
// the ending signal.
class private_context {
public:
    enum class outcome { done, ending, timed_out };

    private_context() {
        g_main_context_push_thread_default(context_);
        g_source_set_callback(tick_, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr, nullptr);
        g_source_attach(tick_, context_);
    }
    ~private_context() {
        g_source_destroy(tick_);
        g_source_unref(tick_);
        g_main_context_pop_thread_default(context_);
        g_main_context_unref(context_);
    }
    private_context(const private_context &) = delete;
    private_context &operator=(const private_context &) = delete;

    void iterate() { g_main_context_iteration(context_, TRUE); }

    // Waits until `done`, the limits' timeout or the ending signal, whichever comes first.
    template <typename Done>
    outcome wait(const service_call &limits, Done done) {
        const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(limits.timeout_ms) * 1000;
        while (!done()) {
            if (limits.ending != nullptr && limits.ending() != 0) return outcome::ending;
            if (g_get_monotonic_time() > deadline) return outcome::timed_out;
            iterate();
        }
        return outcome::done;
    }

private:
    GMainContext *context_ = g_main_context_new();
    GSource *tick_ = g_timeout_source_new(50);
};

// Why a wait for `service` gave up.
inline std::string gave_up_reason(const char *service, private_context::outcome why, const service_call &limits) {
    if (why == private_context::outcome::ending) return std::string(service) + " was not waited for: the program is ending";
    return std::string(service) + " does not answer (no reply within " + std::to_string(limits.timeout_ms / 1000) + " s)";
}

}  // namespace orvane_platform
