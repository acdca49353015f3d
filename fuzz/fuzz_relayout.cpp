// The re-layout, the template reader and the dialog manager over arbitrary template bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/relayout.h"
#include "user/window_core.h"

namespace orvane_platform {
HINSTANCE module_instance();
}

namespace {
INT_PTR quiet_proc(HWND, UINT, WPARAM, LPARAM) { return 0; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::vector<BYTE> bytes(data, data + size);
    HINSTANCE module = orvane_platform::module_instance();
    // The program's own dialog, re-laid out to the arbitrary template.
    HRSRC res = FindResource(module, MAKEINTRESOURCE(102), RT_DIALOG);
    HWND dialog = orvane_platform::create_dialog_from_bytes(LockResource(LoadResource(module, res)),
                                                            SizeofResource(module, res), nullptr, quiet_proc, 0);
    if (dialog != nullptr) orvane_cr::relayout_dialog_from(bytes.data(), static_cast<DWORD>(bytes.size()), module, dialog);
    // And the dialog manager building a dialog from the bytes themselves.
    HWND built = orvane_platform::create_dialog_from_bytes(bytes.data(), bytes.size(), nullptr, quiet_proc, 0);
    if (built != nullptr) orvane_cr::relayout_dialog_from(bytes.data(), static_cast<DWORD>(bytes.size()), module, built);
    orvane_platform::clear_window_system();
    return 0;
}
