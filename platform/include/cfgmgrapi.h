// The configuration service that accepts provisioning documents.
#pragma once

#include <windows.h>

#define CFGFLAG_PROCESS 0x0001u
#define CFGFLAG_METADATA 0x0002u

#define HRESULT_FROM_WIN32(x) \
    (static_cast<HRESULT>(x) <= 0 ? static_cast<HRESULT>(x) \
                                  : static_cast<HRESULT>((static_cast<DWORD>(x) & 0x0000FFFFu) | 0x80070000u))
#define CONFIG_E_ENTRY_EXISTS HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS)

// The reply, when set, is allocated with new[] and released by the caller with delete[].
HRESULT DMProcessConfigXML(LPCWSTR config_xml, DWORD flags, LPWSTR *reply);
