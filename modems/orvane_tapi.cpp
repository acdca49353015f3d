#include "orvane_tapi.h"

#include <unimodem.h>

#include <cstring>

#include "../provisioning/ui_exception.h"
#include "../text/uistrings.h"

namespace orvane_cr {
namespace {

constexpr const char *source_file = ".\\orvane_tapi";
constexpr int line_initialize = 74;
constexpr int line_open = 98;
constexpr int line_config = 150;
constexpr int line_no_modem = 255;
constexpr int line_baud_rate = 169;
constexpr int line_dial_modifier = 172;
constexpr DWORD caps_size = 1024;
constexpr DWORD sim_info_size = 256;
constexpr const WCHAR *datamodem_class = u"comm/datamodem";

[[noreturn]] void fail(int line) { throw ui_exception(get_ui_string(create_failed), source_file, line); }

// A text of `size` bytes at `offset` that lies wholly inside the `used` bytes of the record.
bool inside(DWORD offset, DWORD size, DWORD used) { return offset <= used && size <= used - offset; }

// The Unicode text of `size` bytes at `at`, to its NUL.
std::u16string text_in(const BYTE *at, DWORD size) {
    std::u16string text;
    for (DWORD i = 0; i + 1 < size; i += 2) {
        auto unit = static_cast<char16_t>(at[i] | (at[i + 1] << 8));
        if (unit == 0) break;
        text += unit;
    }
    return text;
}

bool qualifying_type(WORD type) { return type == 1 || type == 2 || type == 3 || type == 5 || type == 7; }

}  // namespace

device_config::~device_config() { release(); }

bool device_config::allocate(DWORD size) {
    release();
    block_ = static_cast<VARSTRING *>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, size));
    size_ = block_ != nullptr ? size : 0;
    return block_ != nullptr;
}

void device_config::release() {
    if (block_ != nullptr) LocalFree(block_);
    block_ = nullptr;
    size_ = 0;
}

modem_list::~modem_list() {
    if (line_app_ != 0) lineShutdown(line_app_);
}

void modem_list::ensure_open() {
    if (line_app_ == 0) {
        std::u16string title = get_ui_string(app_title);
        LINEINITIALIZEEXPARAMS params{};
        params.dwTotalSize = sizeof params;
        params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
        if (lineInitializeEx(&line_app_, nullptr, nullptr, title.c_str(), &device_count_, &api_version_, &params) != 0) {
            line_app_ = 0;
            fail(line_initialize);
        }
    }
    // An opening that stopped half way is completed here rather than used half done.
    if (open_line_ == 0) {
        enumerate_modems();
        DWORD first = first_device_id();
        if (lineOpen(line_app_, first, &open_line_, api_version_, extension_version_, 0, LINECALLPRIVILEGE_OWNER,
                     LINEMEDIAMODE_DATAMODEM, nullptr) != 0) {
            open_line_ = 0;
            fail(line_open);
        }
    }
    if (!device_config_) read_device_config(first_device_id());
}

std::vector<std::u16string> modem_list::modem_names() {
    ensure_open();
    std::vector<std::u16string> names;
    names.reserve(modems_.size());
    for (const modem_entry &m : modems_) names.push_back(m.name);
    return names;
}

void modem_list::enumerate_modems() {
    modems_.clear();
    alignas(LINEDEVCAPS) BYTE buffer[caps_size] = {};
    auto *caps = reinterpret_cast<LINEDEVCAPS *>(buffer);
    for (DWORD id = 0; id < device_count_; ++id) {
        std::memset(buffer, 0, sizeof buffer);
        caps->dwTotalSize = caps_size;
        if (lineGetDevCaps(line_app_, id, api_version_, extension_version_, caps) != 0) continue;
        // Only what the record really holds is read.
        DWORD used = caps->dwUsedSize < caps_size ? caps->dwUsedSize : caps_size;
        if (!inside(caps->dwProviderInfoOffset, caps->dwProviderInfoSize, used) || caps->dwProviderInfoSize < 2) {
            continue;
        }
        if (text_in(buffer + caps->dwProviderInfoOffset, caps->dwProviderInfoSize) != u"UNIMODEM") continue;
        if (!inside(caps->dwLineNameOffset, caps->dwLineNameSize, used)) continue;
        if (!inside(caps->dwDevSpecificOffset, caps->dwDevSpecificSize, used) || caps->dwDevSpecificSize < 2) continue;
        const BYTE *specific = buffer + caps->dwDevSpecificOffset;
        auto type = static_cast<WORD>(specific[0] | (specific[1] << 8));
        if (!qualifying_type(type)) continue;
        modem_entry entry;
        entry.device_id = id;
        entry.name = text_in(buffer + caps->dwLineNameOffset, caps->dwLineNameSize);
        read_sim(entry);
        modems_.push_back(std::move(entry));
    }
}

// A modem without a SIM, or whose SIM cannot be read, is used as one without.
void modem_list::read_sim(modem_entry &entry) const {
    alignas(LINESIMINFO) BYTE buffer[sim_info_size] = {};
    auto *sim = reinterpret_cast<LINESIMINFO *>(buffer);
    sim->dwTotalSize = sim_info_size;
    if (lineGetSimInfo(line_app_, entry.device_id, api_version_, sim) != 0) return;
    DWORD used = sim->dwUsedSize < sim_info_size ? sim->dwUsedSize : sim_info_size;
    if (!inside(sim->dwOperatorIdOffset, sim->dwOperatorIdSize, used) ||
        !inside(sim->dwServiceProviderOffset, sim->dwServiceProviderSize, used)) {
        return;
    }
    entry.sim_operator = text_in(buffer + sim->dwOperatorIdOffset, sim->dwOperatorIdSize);
    entry.sim_provider = text_in(buffer + sim->dwServiceProviderOffset, sim->dwServiceProviderSize);
}

DWORD modem_list::first_device_id() const {
    if (modems_.empty()) fail(line_no_modem);
    return modems_.front().device_id;
}

void modem_list::read_device_config(DWORD device_id) {
    if (!device_config_.allocate(sizeof(VARSTRING))) fail(line_config);
    device_config_.header()->dwTotalSize = sizeof(VARSTRING);
    if (lineGetDevConfig(device_id, device_config_.header(), datamodem_class) != 0) {
        device_config_.release();
        fail(line_config);
    }
    if (device_config_.header()->dwTotalSize < device_config_.header()->dwNeededSize) {
        DWORD needed = device_config_.header()->dwNeededSize;
        device_config_.release();
        if (!device_config_.allocate(needed)) fail(line_config);
        device_config_.header()->dwTotalSize = needed;
        if (lineGetDevConfig(device_id, device_config_.header(), datamodem_class) != 0) {
            device_config_.release();
            fail(line_config);
        }
    }
    const VARSTRING *h = device_config_.header();
    // The bytes must lie inside the buffer; a block that says otherwise is not used.
    if (h->dwStringOffset > device_config_.size() || h->dwStringSize > device_config_.size() - h->dwStringOffset ||
        (h->dwStringSize > 0 && h->dwStringOffset < sizeof(VARSTRING))) {
        device_config_.release();
        fail(line_config);
    }
    const auto *bytes = reinterpret_cast<const BYTE *>(h);
    config_as_read_.assign(bytes, bytes + device_config_.size());
}

void modem_list::restore_device_config() {
    if (device_config_ && config_as_read_.size() == device_config_.size()) {
        std::memcpy(device_config_.header(), config_as_read_.data(), config_as_read_.size());
    }
}

void modem_list::change_config(DWORD option, DWORD_PTR value, int line) {
    UNIMDM_CHG_DEVCFG request{};
    request.dwCommand = UNIMDM_CMD_CHG_DEVCFG;
    request.lpszDeviceClass = datamodem_class;
    request.lpDevConfig = device_config_.header();
    request.dwOption = option;
    request.dwValue = value;
    // A refused change would otherwise create an entry without the requested setting.
    if (lineDevSpecific(open_line_, 0, 0, &request, sizeof request) != 0) fail(line);
}

void modem_list::set_baud_rate(DWORD bits_per_second) { change_config(UNIMDM_OPT_BAUDRATE, bits_per_second, line_baud_rate); }

void modem_list::set_dial_modifier(const WCHAR *modifier) {
    change_config(UNIMDM_OPT_DIALMOD, reinterpret_cast<DWORD_PTR>(modifier), line_dial_modifier);
}

std::u16string modem_list::device_config_hex() const {
    std::u16string hex;
    const VARSTRING *h = device_config_.header();
    if (h == nullptr) return hex;
    DWORD size = device_config_.size();
    if (h->dwStringOffset > size || h->dwStringSize > size - h->dwStringOffset) return hex;
    static constexpr char16_t digits[] = u"0123456789ABCDEF";
    const auto *bytes = reinterpret_cast<const BYTE *>(h) + h->dwStringOffset;
    hex.reserve(static_cast<std::size_t>(h->dwStringSize) * 2);
    for (DWORD i = 0; i < h->dwStringSize; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 0x0F];
    }
    return hex;
}

}  // namespace orvane_cr
