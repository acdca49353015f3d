// The device shell: the soft-key menu bar and calls that act on the shell alone.
#pragma once

#include <windows.h>

#define SHCMBF_EMPTYBAR 0x0001u
#define SHCMBF_HIDDEN 0x0002u
#define SHCMBF_HIDESIPBUTTON 0x0004u
#define SHCMBF_COLORBK 0x0008u
#define SHCMBF_HMENU 0x0010u

#define SHDB_SHOW 0x0001u
#define SHDB_HIDE 0x0002u
#define SHDB_SHOWCANCEL 0x0004u

#define SIP_UP 0
#define SIP_DOWN 1
#define SIP_FORCEDOWN 2
#define SIP_UNCHANGED 3
#define SIP_INPUTDIALOG 4

// With SHCMBF_HMENU, nToolBarId carries the menu handle, so it is pointer-sized here.
struct SHMENUBARINFO {
    DWORD cbSize;
    HWND hwndParent;
    DWORD dwFlags;
    UINT_PTR nToolBarId;
    HINSTANCE hInstRes;
    int nBmpId;
    int cBmpImages;
    HWND hwndMB;
    DWORD clrBk;
};
using PSHMENUBARINFO = SHMENUBARINFO *;

BOOL SHCreateMenuBar(SHMENUBARINFO *info);
// No shell on this handheld to act on: these succeed and do nothing.
BOOL SHInitExtraControls();
BOOL SHSipPreference(HWND window, int state);
BOOL SHDoneButton(HWND window, DWORD state);
