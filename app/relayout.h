// Moving a dialog's controls to the rectangles of another template of the same controls.
#pragma once

#include <windows.h>

namespace orvane_cr {

bool relayout_dialog(HINSTANCE module, HWND dialog, UINT template_id);
// The same, over template bytes in memory.
bool relayout_dialog_from(const BYTE *bytes, DWORD size, HINSTANCE module, HWND dialog);

}  // namespace orvane_cr
