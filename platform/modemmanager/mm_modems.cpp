// The modems of the running ModemManager, asked over the system bus with libmm-glib.
#include <libmm-glib.h>

#include <memory>

#include "../telephony/mm_module.h"

namespace {

struct unref {
    void operator()(gpointer p) const { g_object_unref(p); }
};
struct free_error {
    void operator()(GError *e) const { g_error_free(e); }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) bool orvane_modemmanager_modems(
    std::vector<orvane_platform::system_modem> &modems, std::string &error) noexcept {
    try {
        GError *raw = nullptr;
        std::unique_ptr<GDBusConnection, unref> bus(g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &raw));
        std::unique_ptr<GError, free_error> err(raw);
        if (!bus) {
            error = std::string("no system bus to ask ModemManager on: ") + (err ? err->message : "unknown reason");
            return false;
        }
        // Never started on demand: a ModemManager that is not running means no modems.
        std::unique_ptr<MMManager, unref> manager(
            mm_manager_new_sync(bus.get(), G_DBUS_OBJECT_MANAGER_CLIENT_FLAGS_DO_NOT_AUTO_START, nullptr, &raw));
        err.reset(raw);
        if (!manager) {
            error = std::string("ModemManager cannot be asked: ") + (err ? err->message : "unknown reason");
            return false;
        }
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
