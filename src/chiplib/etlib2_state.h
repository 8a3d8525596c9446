// etLib2's library state and its locked bus operations, shared by the interface, the
// configuration string query and their tests.
#pragma once

#include "chiplib/register_protocol.h"
#include "win32api.h"

const char kLibraryMutexName[] = "Empia VideoClass HidClass Library";
const DWORD kLibraryMutexWaitMs = 1000;

struct EtLib2State {
    int open;                   // the last etLib2_Init's result
    TransportLink link;         // Transport and TransportObject
    IBaseFilter* unitFilter;    // transport 1: the filter the extension unit was found on
    IBaseFilter* workingFilter; // transports 3 and 4 while opening
    HANDLE libraryMutex;
};
extern EtLib2State gEtLib2;

// Waits for the library mutex; true when this process now holds it, also when it was taken over
// from a process that died holding it. False when the wait timed out or failed.
bool LockLibrary();
void UnlockLibrary();

// Register 5 through the library's locked register read.
HRESULT LockedRegisterRead(RegisterPacket* packet);

// Locked I2C and serial-flash transfers; S_OK or E_FAIL. I2cTransact to the configuration
// EEPROM (0xA0) swaps the caller's first two write bytes (a little-endian address goes out
// high byte first) and selects the EEPROM's bus under the same hold of the mutex.
HRESULT I2cTransact(DWORD device, DWORD writeLength, BYTE* writeBytes, DWORD readLength,
                    BYTE* destination);
HRESULT FlashTransact(DWORD device, DWORD mode, DWORD writeLength, const BYTE* writeBytes,
                      DWORD readLength, BYTE* destination);
// Reads in pieces of at most 32 bytes; always reports success (a failed piece leaves its part
// of `destination` as it was).
HRESULT FlashRead(DWORD address, DWORD length, BYTE* destination);
