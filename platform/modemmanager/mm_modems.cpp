// The modems of the running ModemManager, asked over the system bus with libmm-glib.
#include <libmm-glib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../common/service_wait.h"
#include "../telephony/mm_module.h"

namespace {

struct unref {
    void operator()(gpointer p) const { g_object_unref(p); }
};

struct pending {
    GObject *made = nullptr;
    GError *error = nullptr;
    bool done = false;
};

// The manager, asked on a main context of our own so that every wait is bounded; null, with
// `error` set, when ModemManager cannot be asked.
std::unique_ptr<MMManager, unref> manager_within(orvane_platform::private_context &context,
                                                 const orvane_platform::service_call &limits, std::string &error) {
    // False, with `error` set, when the wait gave up (what is pending is cancelled below).
    auto waited = [&](auto done) {
        const auto why = context.wait(limits, done);
        if (why != orvane_platform::private_context::outcome::done) {
            error = orvane_platform::gave_up_reason("ModemManager", why, limits);
        }
        return why == orvane_platform::private_context::outcome::done;
    };
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
    bool ok = waited([&] { return bus_call.done; });
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
        ok = waited([&] { return manager_call.done; });
        if (ok && manager_call.made == nullptr) {
            error = std::string("ModemManager cannot be asked: ") +
                    (manager_call.error ? manager_call.error->message : "unknown reason");
            ok = false;
        }
    }
    // What was started answers once cancelled; it must land before what it writes to goes.
    g_cancellable_cancel(cancel);
    while (!bus_call.done || (manager_asked && !manager_call.done)) context.iterate();
    std::unique_ptr<MMManager, unref> manager(ok ? MM_MANAGER(manager_call.made) : nullptr);
    if (!ok && manager_call.made != nullptr) g_object_unref(manager_call.made);
    if (bus_call.made != nullptr) g_object_unref(bus_call.made);
    for (GError *e : {bus_call.error, manager_call.error}) {
        if (e != nullptr) g_error_free(e);
    }
    g_object_unref(cancel);
    return manager;
}

// Each modem's SIM, asked all at once; a SIM that cannot be read in time stays unknown, as
// does a modem without one.
void read_sims(orvane_platform::private_context &context, const orvane_platform::service_call &limits,
               const std::vector<MMModem *> &found, orvane_platform::system_modem *out) {
    std::vector<pending> asked(found.size());
    GCancellable *cancel = g_cancellable_new();
    for (std::size_t i = 0; i < found.size(); ++i) {
        const gchar *path = mm_modem_get_sim_path(found[i]);
        if (path == nullptr || std::strcmp(path, "/") == 0) {
            asked[i].done = true;
            continue;
        }
        mm_modem_get_sim(
            found[i], cancel,
            [](GObject *source, GAsyncResult *result, gpointer data) {
                auto *p = static_cast<pending *>(data);
                p->made = G_OBJECT(mm_modem_get_sim_finish(MM_MODEM(source), result, &p->error));
                p->done = true;
            },
            &asked[i]);
    }
    auto all_done = [&] { return std::all_of(asked.begin(), asked.end(), [](const pending &p) { return p.done; }); };
    context.wait(limits, all_done);
    g_cancellable_cancel(cancel);
    while (!all_done()) context.iterate();
    auto text = [](const gchar *s) { return std::string(s != nullptr ? s : ""); };
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (asked[i].made != nullptr) {
            MMSim *sim = MM_SIM(asked[i].made);
            out[i].sim_operator_id = text(mm_sim_get_operator_identifier(sim));
            out[i].sim_operator_name = text(mm_sim_get_operator_name(sim));
            out[i].sim_identifier = text(mm_sim_get_identifier(sim));
            g_object_unref(asked[i].made);
        }
        if (asked[i].error != nullptr) g_error_free(asked[i].error);
    }
    g_object_unref(cancel);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) bool orvane_modemmanager_modems(
    const orvane_platform::service_call &limits, std::vector<orvane_platform::system_modem> &modems,
    std::string &error) noexcept {
    try {
        // The manager and the SIMs answer on this context: it outlives them.
        orvane_platform::private_context context;
        std::unique_ptr<MMManager, unref> manager = manager_within(context, limits, error);
        if (!manager) return false;
        gchar *owner = g_dbus_object_manager_client_get_name_owner(G_DBUS_OBJECT_MANAGER_CLIENT(manager.get()));
        if (owner == nullptr) {
            error = "ModemManager is not running";
            return false;
        }
        g_free(owner);
        GList *objects = g_dbus_object_manager_get_objects(G_DBUS_OBJECT_MANAGER(manager.get()));
        const std::size_t first = modems.size();
        std::vector<MMModem *> found;
        for (GList *l = objects; l != nullptr; l = l->next) {
            MMModem *modem = mm_object_peek_modem(MM_OBJECT(l->data));
            if (modem == nullptr) continue;
            auto text = [](const gchar *s) { return std::string(s != nullptr ? s : ""); };
            std::string model = text(mm_modem_get_model(modem));
            modems.push_back({model.empty() ? "Modem" : model, text(mm_modem_get_primary_port(modem)),
                              text(mm_modem_get_equipment_identifier(modem)),
                              text(mm_modem_get_device_identifier(modem)), {}, {}, {}});
            found.push_back(modem);
        }
        read_sims(context, limits, found, modems.data() + first);
        g_list_free_full(objects, g_object_unref);
        return true;
    } catch (const std::exception &e) {
        error = e.what();
        return false;
    }
}
