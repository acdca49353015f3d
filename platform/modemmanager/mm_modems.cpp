// The modems of the running ModemManager, asked over the system bus with libmm-glib.
#include <libmm-glib.h>

#include <memory>
#include <string>

#include "../telephony/mm_module.h"

namespace {

struct unref {
    void operator()(gpointer p) const { g_object_unref(p); }
};

}  // namespace

namespace {

// Waits on `context` until `done`, within the call's timeout and until a signal ends the
// program; false, with `error` set, when it gave up (the caller cancels what is pending).
template <typename Done>
bool waited(GMainContext *context, const orvane_platform::service_call &limits, Done done, std::string &error) {
    const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(limits.timeout_ms) * 1000;
    while (!done()) {
        if (limits.ending != nullptr && limits.ending() != 0) {
            error = "ModemManager was not waited for: the program is ending";
            return false;
        }
        if (g_get_monotonic_time() > deadline) {
            error = "ModemManager does not answer (no reply within " + std::to_string(limits.timeout_ms / 1000) + " s)";
            return false;
        }
        g_main_context_iteration(context, TRUE);
    }
    return true;
}

struct pending {
    GObject *made = nullptr;
    GError *error = nullptr;
    bool done = false;
};

// The manager, asked on a main context of our own so that every wait is bounded; null, with
// `error` set, when ModemManager cannot be asked.
std::unique_ptr<MMManager, unref> manager_within(const orvane_platform::service_call &limits, std::string &error) {
    GMainContext *context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GSource *tick = g_timeout_source_new(50);  // wakes the wait to see the ending signal
    g_source_set_callback(tick, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr, nullptr);
    g_source_attach(tick, context);
    GCancellable *cancel = g_cancellable_new();
    pending bus_call;
    g_bus_get(
        G_BUS_TYPE_SYSTEM, cancel,
        [](GObject *, GAsyncResult *result, gpointer data) {
            auto *p = static_cast<pending *>(data);
            p->made = G_OBJECT(g_bus_get_finish(result, &p->error));
            p->done = true;
        },
        &bus_call);
    bool ok = waited(context, limits, [&] { return bus_call.done; }, error);
    if (ok && bus_call.made == nullptr) {
        error = std::string("no system bus to ask ModemManager on: ") + (bus_call.error ? bus_call.error->message : "unknown reason");
        ok = false;
    }
    pending manager_call;
    bool manager_asked = false;
    if (ok) {
        g_dbus_connection_set_exit_on_close(G_DBUS_CONNECTION(bus_call.made), FALSE);
        // Never started on demand: a ModemManager that is not running means no modems.
        mm_manager_new(
            G_DBUS_CONNECTION(bus_call.made), G_DBUS_OBJECT_MANAGER_CLIENT_FLAGS_DO_NOT_AUTO_START, cancel,
            [](GObject *, GAsyncResult *result, gpointer data) {
                auto *p = static_cast<pending *>(data);
                p->made = G_OBJECT(mm_manager_new_finish(result, &p->error));
                p->done = true;
            },
            &manager_call);
        manager_asked = true;
        ok = waited(context, limits, [&] { return manager_call.done; }, error);
        if (ok && manager_call.made == nullptr) {
            error = std::string("ModemManager cannot be asked: ") +
                    (manager_call.error ? manager_call.error->message : "unknown reason");
            ok = false;
        }
    }
    // What was started answers once cancelled; it must land before what it writes to goes.
    g_cancellable_cancel(cancel);
    while (!bus_call.done || (manager_asked && !manager_call.done)) g_main_context_iteration(context, TRUE);
    std::unique_ptr<MMManager, unref> manager(ok ? MM_MANAGER(manager_call.made) : nullptr);
    if (!ok && manager_call.made != nullptr) g_object_unref(manager_call.made);
    if (bus_call.made != nullptr) g_object_unref(bus_call.made);
    for (GError *e : {bus_call.error, manager_call.error}) {
        if (e != nullptr) g_error_free(e);
    }
    g_object_unref(cancel);
    g_source_destroy(tick);
    g_source_unref(tick);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    return manager;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) bool orvane_modemmanager_modems(
    const orvane_platform::service_call &limits, std::vector<orvane_platform::system_modem> &modems,
    std::string &error) noexcept {
    try {
        std::unique_ptr<MMManager, unref> manager = manager_within(limits, error);
        if (!manager) return false;
        gchar *owner = g_dbus_object_manager_client_get_name_owner(G_DBUS_OBJECT_MANAGER_CLIENT(manager.get()));
        if (owner == nullptr) {
            error = "ModemManager is not running";
            return false;
        }
        g_free(owner);
        GList *objects = g_dbus_object_manager_get_objects(G_DBUS_OBJECT_MANAGER(manager.get()));
        for (GList *l = objects; l != nullptr; l = l->next) {
            MMModem *modem = mm_object_peek_modem(MM_OBJECT(l->data));
            if (modem == nullptr) continue;
            auto text = [](const gchar *s) { return std::string(s != nullptr ? s : ""); };
            std::string model = text(mm_modem_get_model(modem));
            modems.push_back({model.empty() ? "Modem" : model, text(mm_modem_get_primary_port(modem)),
                              text(mm_modem_get_equipment_identifier(modem)),
                              text(mm_modem_get_device_identifier(modem))});
        }
        g_list_free_full(objects, g_object_unref);
        return true;
    } catch (const std::exception &e) {
        error = e.what();
        return false;
    }
}
