// Telephony line services (TAPI 2.0), the subset the program uses.
#pragma once

#include <windows.h>

using HLINEAPP = DWORD;
using HLINE = DWORD;
using HCALL = DWORD;
using LPHLINEAPP = HLINEAPP *;
using LPHLINE = HLINE *;
using LINECALLBACK = void (*)(DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2,
                              DWORD_PTR p3);

#define TAPI_CURRENT_VERSION 0x00020000u

#define LINEERR_BADDEVICEID static_cast<LONG>(0x80000002u)
#define LINEERR_INCOMPATIBLEAPIVERSION static_cast<LONG>(0x8000000Cu)
#define LINEERR_INVALAPPHANDLE static_cast<LONG>(0x80000014u)
#define LINEERR_INVALDEVICECLASS static_cast<LONG>(0x80000023u)
#define LINEERR_INVALLINEHANDLE static_cast<LONG>(0x8000002Bu)
#define LINEERR_INVALMEDIAMODE static_cast<LONG>(0x8000002Fu)
#define LINEERR_INVALPARAM static_cast<LONG>(0x80000032u)
#define LINEERR_INVALPOINTER static_cast<LONG>(0x80000035u)
#define LINEERR_INVALPRIVSELECT static_cast<LONG>(0x80000036u)
#define LINEERR_NODEVICE static_cast<LONG>(0x80000042u)
#define LINEERR_NODRIVER static_cast<LONG>(0x80000043u)
#define LINEERR_NOMEM static_cast<LONG>(0x80000044u)
#define LINEERR_OPERATIONFAILED static_cast<LONG>(0x80000048u)
#define LINEERR_OPERATIONUNAVAIL static_cast<LONG>(0x80000049u)
#define LINEERR_RESOURCEUNAVAIL static_cast<LONG>(0x8000004Bu)
#define LINEERR_STRUCTURETOOSMALL static_cast<LONG>(0x8000004Du)

#define LINEINITIALIZEEXOPTION_USEHIDDENWINDOW 0x00000001u
#define LINEINITIALIZEEXOPTION_USEEVENT 0x00000002u
#define LINEINITIALIZEEXOPTION_USECOMPLETIONPORT 0x00000003u
#define LINECALLPRIVILEGE_NONE 0x00000001u
#define LINECALLPRIVILEGE_MONITOR 0x00000002u
#define LINECALLPRIVILEGE_OWNER 0x00000004u
#define LINEMEDIAMODE_INTERACTIVEVOICE 0x00000004u
#define LINEMEDIAMODE_DATAMODEM 0x00000010u
#define LINEBEARERMODE_VOICE 0x00000001u
#define LINEBEARERMODE_DATA 0x00000008u
#define STRINGFORMAT_ASCII 0x00000001u
#define STRINGFORMAT_UNICODE 0x00000003u
#define STRINGFORMAT_BINARY 0x00000004u

struct LINEINITIALIZEEXPARAMS {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwOptions;
    union {
        HANDLE hEvent;
        HANDLE hCompletionPort;
    } Handles;
    DWORD dwCompletionKey;
};
using LPLINEINITIALIZEEXPARAMS = LINEINITIALIZEEXPARAMS *;

struct LINEDIALPARAMS {
    DWORD dwDialPause;
    DWORD dwDialSpeed;
    DWORD dwDigitDuration;
    DWORD dwWaitForDialtone;
};

// The fixed part of a line's capability record; its texts follow it in the same buffer.
struct LINEDEVCAPS {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwProviderInfoSize;
    DWORD dwProviderInfoOffset;
    DWORD dwSwitchInfoSize;
    DWORD dwSwitchInfoOffset;
    DWORD dwPermanentLineID;
    DWORD dwLineNameSize;
    DWORD dwLineNameOffset;
    DWORD dwStringFormat;
    DWORD dwAddressModes;
    DWORD dwNumAddresses;
    DWORD dwBearerModes;
    DWORD dwMaxRate;
    DWORD dwMediaModes;
    DWORD dwGenerateToneModes;
    DWORD dwGenerateToneMaxNumFreq;
    DWORD dwGenerateDigitModes;
    DWORD dwMonitorToneMaxNumFreq;
    DWORD dwMonitorToneMaxNumEntries;
    DWORD dwMonitorDigitModes;
    DWORD dwGatherDigitsMinTimeout;
    DWORD dwGatherDigitsMaxTimeout;
    DWORD dwMedCtlDigitMaxListSize;
    DWORD dwMedCtlMediaMaxListSize;
    DWORD dwMedCtlToneMaxListSize;
    DWORD dwMedCtlCallStateMaxListSize;
    DWORD dwDevCapFlags;
    DWORD dwMaxNumActiveCalls;
    DWORD dwAnswerMode;
    DWORD dwRingModes;
    DWORD dwLineStates;
    DWORD dwUUIAcceptSize;
    DWORD dwUUIAnswerSize;
    DWORD dwUUIMakeCallSize;
    DWORD dwUUIDropSize;
    DWORD dwUUISendUserUserInfoSize;
    DWORD dwUUICallInfoSize;
    LINEDIALPARAMS MinDialParams;
    LINEDIALPARAMS MaxDialParams;
    LINEDIALPARAMS DefaultDialParams;
    DWORD dwNumTerminals;
    DWORD dwTerminalCapsSize;
    DWORD dwTerminalCapsOffset;
    DWORD dwTerminalTextEntrySize;
    DWORD dwTerminalTextSize;
    DWORD dwTerminalTextOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
    DWORD dwLineFeatures;
    DWORD dwSettableDevStatus;
    DWORD dwDeviceClassesSize;
    DWORD dwDeviceClassesOffset;
};
using LPLINEDEVCAPS = LINEDEVCAPS *;

struct VARSTRING {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwStringFormat;
    DWORD dwStringSize;
    DWORD dwStringOffset;
};
using LPVARSTRING = VARSTRING *;
static_assert(sizeof(VARSTRING) == 24);

// The SIM in a line's device, as the extended telephony calls give a line's records: Unicode
// texts, each ending in a NUL, after the fixed part. The operator identifier is the MCC and MNC
// with the MNC length the SIM states.
struct LINESIMINFO {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwOperatorIdSize;
    DWORD dwOperatorIdOffset;
    DWORD dwServiceProviderSize;
    DWORD dwServiceProviderOffset;
    DWORD dwIccidSize;
    DWORD dwIccidOffset;
};
using LPLINESIMINFO = LINESIMINFO *;

struct LINECALLPARAMS;

LONG lineInitializeEx(LPHLINEAPP line_app, HINSTANCE instance, LINECALLBACK callback, LPCWSTR friendly_name,
                      LPDWORD device_count, LPDWORD api_version, LPLINEINITIALIZEEXPARAMS params);
LONG lineGetDevCaps(HLINEAPP line_app, DWORD device_id, DWORD api_version, DWORD ext_version, LPLINEDEVCAPS caps);
LONG lineOpen(HLINEAPP line_app, DWORD device_id, LPHLINE line, DWORD api_version, DWORD ext_version,
              DWORD_PTR callback_instance, DWORD privileges, DWORD media_modes, const LINECALLPARAMS *call_params);
LONG lineGetDevConfig(DWORD device_id, LPVARSTRING device_config, LPCWSTR device_class);
LONG lineDevSpecific(HLINE line, DWORD address_id, HCALL call, LPVOID params, DWORD size);
// LINEERR_OPERATIONUNAVAIL when the device has no SIM, or none that tells its operator.
LONG lineGetSimInfo(HLINEAPP line_app, DWORD device_id, DWORD api_version, LPLINESIMINFO info);
LONG lineClose(HLINE line);
LONG lineShutdown(HLINEAPP line_app);
