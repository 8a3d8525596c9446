// etLib2: the program's register library. Opens the camera over the first transport that
// answers and reads and writes chip registers and configuration strings under a lock shared
// with other processes.
#pragma once

#include "win32api.h"

// The room a caller gives etLib2_GetDeviceString; text beyond it is cut.
const DWORD kDeviceStringBytes = 128;

// 1 when a transport was opened, 0 when none answered; never negative. An open connection is
// closed first.
int etLib2_Init();
// Closes the open connection, if any.
void etLib2_Close();
// Whether a transport is open (the last etLib2_Init found one and nothing closed it since).
bool etLib2_IsOpen();
// One chip register: the low 8 bits of `address` and of `count` (1, 2 or 4). S_OK or E_FAIL;
// *result is written only on success, with the `count` bytes read and zeros above them.
HRESULT etLib2_RegRead(DWORD address, DWORD count, DWORD* result);
// Writes the 32-bit value at *value (its low `count` bytes reach the register). S_OK or E_FAIL.
HRESULT etLib2_RegWrite(DWORD address, DWORD count, const DWORD* value);
// String `selector` (0, 1 or 2) of the camera's configuration memory into `buffer`
// (kDeviceStringBytes long, zero-filled by the caller; no terminator is added). Negative on
// failure; 0 when read from the EEPROM, 1 when from the serial flash.
HRESULT etLib2_GetDeviceString(DWORD selector, char* buffer);
