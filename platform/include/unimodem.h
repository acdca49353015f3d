// The standard modem provider's device-specific requests.
#pragma once

#include <tapi.h>

#define UNIMDM_CMD_CHG_DEVCFG 1u
#define UNIMDM_OPT_BAUDRATE 1u
#define UNIMDM_OPT_DIALMOD 9u

// Change one setting of a device configuration block in place. The value holds a number
// or an address, so it is pointer-sized on this host.
struct UNIMDM_CHG_DEVCFG {
    DWORD dwCommand;
    LPCWSTR lpszDeviceClass;
    LPVARSTRING lpDevConfig;
    DWORD dwOption;
    DWORD_PTR dwValue;
};
