// The subset of the handheld's system API that the program uses.
#pragma once

#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LPDWORD = std::uint32_t *;
using INT = int;
using LONG = std::int32_t;
using BOOL = int;
using WCHAR = char16_t;
using TCHAR = WCHAR;
using LPWSTR = WCHAR *;
using LPCWSTR = const WCHAR *;
using LPTSTR = LPWSTR;
using LPCTSTR = LPCWSTR;
using LPCSTR = const char *;
using LPVOID = void *;
using LPCVOID = const void *;
using UINT_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;
using LONG_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using DWORD_PTR = std::uintptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using HRESULT = std::int32_t;
using SIZE_T = std::size_t;
using ATOM = WORD;

struct platform_handle;
using HANDLE = platform_handle *;
struct HWND__;
using HWND = HWND__ *;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__ *;
using HMODULE = HINSTANCE;
struct HMENU__;
using HMENU = HMENU__ *;
struct HICON__;
using HICON = HICON__ *;
struct HBITMAP__;
using HBITMAP = HBITMAP__ *;
struct HRSRC__;
using HRSRC = HRSRC__ *;
using HGLOBAL = const void *;
using HLOCAL = void *;
struct HDWP__;
using HDWP = HDWP__ *;
using HGDIOBJ = void *;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define TEXT(s) u##s
#define _T(s) u##s
#define MAX_PATH 260

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

#define MAKEINTRESOURCE(i) (reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(p) ((reinterpret_cast<ULONG_PTR>(p) >> 16) == 0)
#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xffff))
#define MAKELONG(a, b) (static_cast<LONG>(static_cast<WORD>(a) | (static_cast<DWORD>(static_cast<WORD>(b)) << 16)))
#define MAKEWPARAM(l, h) (static_cast<WPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
#define MAKELPARAM(l, h) (static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
#define SUCCEEDED(hr) ((hr) >= 0)
#define FAILED(hr) ((hr) < 0)

#define S_OK 0
#define E_FAIL static_cast<HRESULT>(0x80004005)
#define E_INVALIDARG static_cast<HRESULT>(0x80070057)
#define E_OUTOFMEMORY static_cast<HRESULT>(0x8007000E)

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_READ_FAULT 30
#define ERROR_INVALID_PARAMETER 87
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_ALREADY_EXISTS 183

// ---- kernel: files, mappings, local heap ----
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define FILE_ATTRIBUTE_NORMAL 0x80u
#define PAGE_READONLY 0x02u
#define FILE_MAP_READ 0x0004u
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES *;

DWORD GetModuleFileName(HMODULE module, LPWSTR filename, DWORD size);
HANDLE CreateFileForMapping(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                            DWORD disposition, DWORD flags, HANDLE template_file);
HANDLE CreateFileMapping(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect, DWORD size_high,
                         DWORD size_low, LPCWSTR name);
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offset_high, DWORD offset_low, SIZE_T bytes);
BOOL UnmapViewOfFile(LPCVOID base);
DWORD GetFileSize(HANDLE file, DWORD *size_high);
BOOL CloseHandle(HANDLE object);
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL LocalFree(HLOCAL mem);
DWORD GetLastError();
void SetLastError(DWORD error);

// ---- user: windows, messages, dialogs, controls ----
struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPRECT = RECT *;
struct POINT {
    LONG x;
    LONG y;
};
struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
using LPMSG = MSG *;

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_SETICON 0x0080
#define WM_KEYDOWN 0x0100
#define WM_CHAR 0x0102
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_NCHITTEST 0x0084
#define WM_GETDLGCODE 0x0087
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_MOUSEWHEEL 0x020A
#define WHEEL_DELTA 120
#define HTNOWHERE 0
#define HTCLIENT 1
#define DLGC_WANTALLKEYS 0x0004
#define WM_USER 0x0400

#define ICON_SMALL 0
#define ICON_BIG 1
#define SIZE_RESTORED 0

#define WS_OVERLAPPED 0x00000000u
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_BORDER 0x00800000u
#define WS_CAPTION 0x00C00000u
#define WS_SYSMENU 0x00080000u
#define WS_VSCROLL 0x00200000u
#define WS_HSCROLL 0x00100000u
#define WS_GROUP 0x00020000u
#define WS_TABSTOP 0x00010000u
#define WS_EX_APPWINDOW 0x00040000u
#define WS_EX_CAPTIONOKBTN 0x80000000u
#define DS_SETFONT 0x40u
#define DS_MODALFRAME 0x80u

#define SS_LEFT 0x0000u
#define SS_CENTER 0x0001u
#define SS_RIGHT 0x0002u
#define SS_ICON 0x0003u
#define SS_BITMAP 0x000Eu
#define SS_NOPREFIX 0x0080u

#define ES_LEFT 0x0000u
#define ES_PASSWORD 0x0020u
#define ES_AUTOHSCROLL 0x0080u
#define ES_READONLY 0x0800u

#define CBS_SIMPLE 0x0001u
#define CBS_DROPDOWN 0x0002u
#define CBS_DROPDOWNLIST 0x0003u
#define CBS_AUTOHSCROLL 0x0040u
#define CBS_SORT 0x0100u

#define EM_LIMITTEXT 0x00C5
#define EM_SETSEL 0x00B1
#define STM_SETIMAGE 0x0172
#define STM_GETIMAGE 0x0173
#define IMAGE_BITMAP 0
#define IMAGE_ICON 1

#define CB_ERR (-1)
#define CB_ERRSPACE (-2)
#define CB_GETEDITSEL 0x0140
#define CB_LIMITTEXT 0x0141
#define CB_ADDSTRING 0x0143
#define CB_DELETESTRING 0x0144
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_GETLBTEXTLEN 0x0149
#define CB_INSERTSTRING 0x014A
#define CB_RESETCONTENT 0x014B
#define CB_FINDSTRING 0x014C
#define CB_SELECTSTRING 0x014D
#define CB_SETCURSEL 0x014E
#define CB_SHOWDROPDOWN 0x014F
#define CB_GETITEMDATA 0x0150
#define CB_SETITEMDATA 0x0151
#define CB_GETDROPPEDSTATE 0x0157
#define CB_FINDSTRINGEXACT 0x0158
#define CB_GETTOPINDEX 0x015B
#define CB_INITSTORAGE 0x0161
#define CBN_SELCHANGE 1
#define CBN_DROPDOWN 7
#define CBN_CLOSEUP 8
#define EN_CHANGE 0x0300
#define LB_ERR (-1)
#define LB_GETCURSEL 0x0188
#define LB_SETCURSEL 0x0186

#define IDOK 1
#define IDCANCEL 2

#define MB_OK 0x00000000u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION 0x00000040u
#define MB_ICONASTERISK MB_ICONINFORMATION

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

#define SWP_NOSIZE 0x0001u
#define SWP_NOMOVE 0x0002u
#define SWP_NOZORDER 0x0004u
#define SWP_NOACTIVATE 0x0010u

#define MF_STRING 0x0000u
#define MF_BYCOMMAND 0x0000u
#define MF_GRAYED 0x0001u
#define MF_POPUP 0x0010u
#define MF_BYPOSITION 0x0400u
#define MF_END 0x0080u

#define RT_ICON MAKEINTRESOURCE(3)
#define RT_BITMAP MAKEINTRESOURCE(2)
#define RT_MENU MAKEINTRESOURCE(4)
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_STRING MAKEINTRESOURCE(6)
#define RT_RCDATA MAKEINTRESOURCE(10)
#define RT_GROUP_ICON MAKEINTRESOURCE(14)

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

#pragma pack(push, 2)
struct DLGTEMPLATE {
    DWORD style;
    DWORD dwExtendedStyle;
    WORD cdit;
    short x;
    short y;
    short cx;
    short cy;
};
struct DLGITEMTEMPLATE {
    DWORD style;
    DWORD dwExtendedStyle;
    short x;
    short y;
    short cx;
    short cy;
    WORD id;
};
#pragma pack(pop)
using LPCDLGTEMPLATE = const DLGTEMPLATE *;

LRESULT SendMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
BOOL PostMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void PostQuitMessage(int exit_code);
LRESULT DispatchMessage(const MSG *msg);
BOOL IsWindow(HWND window);
BOOL DestroyWindow(HWND window);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND window);
BOOL SetWindowText(HWND window, LPCWSTR text);
int GetWindowText(HWND window, LPWSTR buffer, int max_count);
int GetWindowTextLength(HWND window);
BOOL SetDlgItemText(HWND dialog, int id, LPCWSTR text);
LRESULT SendDlgItemMessage(HWND dialog, int id, UINT message, WPARAM wparam, LPARAM lparam);
BOOL GetWindowRect(HWND window, LPRECT rect);
BOOL SetWindowPos(HWND window, HWND after, int x, int y, int cx, int cy, UINT flags);
HWND SetFocus(HWND window);
HWND GetFocus();
BOOL EndDialog(HWND dialog, INT_PTR result);
BOOL MapDialogRect(HWND dialog, LPRECT rect);
int GetSystemMetrics(int index);
int MessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

HDWP BeginDeferWindowPos(int count);
HDWP DeferWindowPos(HDWP batch, HWND window, HWND after, int x, int y, int cx, int cy, UINT flags);
BOOL EndDeferWindowPos(HDWP batch);

HMENU LoadMenu(HINSTANCE instance, LPCWSTR name);
BOOL RemoveMenu(HMENU menu, UINT position, UINT flags);
BOOL InsertMenu(HMENU menu, UINT position, UINT flags, UINT_PTR id, LPCWSTR text);
BOOL DestroyMenu(HMENU menu);

HICON LoadIcon(HINSTANCE instance, LPCWSTR name);
HBITMAP LoadBitmap(HINSTANCE instance, LPCWSTR name);
BOOL DestroyIcon(HICON icon);
BOOL DeleteObject(HGDIOBJ object);

HRSRC FindResource(HMODULE module, LPCWSTR name, LPCWSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);

