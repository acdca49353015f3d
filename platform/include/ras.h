// Remote access: the test of a new entry's name.
#pragma once

#include <windows.h>

#define RAS_MaxEntryName 20

DWORD RasValidateEntryName(LPCWSTR phone_book, LPCWSTR entry_name);
