// The telephony modems of the device and the first modem's configuration block.
#pragma once

#include <tapi.h>

#include <string>
#include <vector>

namespace orvane_cr {

struct modem_entry {
    DWORD device_id = 0;
    std::u16string name;
    // The SIM's operator identifier (MCC and MNC) and service provider name; empty without a
    // SIM that tells them.
    std::u16string sim_operator;
    std::u16string sim_provider;
};

// The configuration block of one modem: a VARSTRING header and the provider's bytes,
// in a zero-filled buffer of the local heap.
class device_config {
public:
    device_config() = default;
    ~device_config();
    device_config(const device_config &) = delete;
    device_config &operator=(const device_config &) = delete;

    // Replaces the buffer by a zero-filled one of `size` bytes; false when none can be had.
    bool allocate(DWORD size);
    void release();
    VARSTRING *header() const { return block_; }
    DWORD size() const { return size_; }
    explicit operator bool() const { return block_ != nullptr; }

private:
    VARSTRING *block_ = nullptr;
    DWORD size_ = 0;
};

class modem_list {
public:
    modem_list() = default;
    ~modem_list();
    modem_list(const modem_list &) = delete;
    modem_list &operator=(const modem_list &) = delete;

    void ensure_open();
    std::vector<std::u16string> modem_names();
    void enumerate_modems();
    DWORD first_device_id() const;

    void read_device_config(DWORD device_id);
    // Puts back the block as it was read, so that no request inherits the edits of an earlier one.
    void restore_device_config();
    void set_baud_rate(DWORD bits_per_second);
    void set_dial_modifier(const WCHAR *modifier);
    std::u16string device_config_hex() const;

    const std::vector<modem_entry> &modems() const { return modems_; }
    HLINEAPP line_app() const { return line_app_; }
    HLINE open_line() const { return open_line_; }
    DWORD api_version() const { return api_version_; }
    const device_config &config() const { return device_config_; }

private:
    void read_sim(modem_entry &entry) const;
    void change_config(DWORD option, DWORD_PTR value, int line);

    HLINEAPP line_app_ = 0;
    HLINE open_line_ = 0;
    DWORD device_count_ = 0;
    DWORD api_version_ = 0x00020000;
    DWORD extension_version_ = 0;
    device_config device_config_;
    std::vector<modem_entry> modems_;
    std::vector<BYTE> config_as_read_;
};

}  // namespace orvane_cr
