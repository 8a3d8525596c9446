// The end-to-end suite's view of the stand-in extension-unit server and its installer: switches,
// counters and the record of every call, in named shared memory, and the registry names both use.
#pragma once

#include <windows.h>

const char kExtensionUnitControlName[] = "Local\\Vexor2ExtensionUnitControl";

const char kExtensionUnitClsid[] = "{A0432DA0-A887-45F8-B28B-6693C6B9E619}";
const char kServerRecordKey[] = "Software\\Empia\\UVC Extension Control";
const DWORD kCurrentServerVersion = 0x1000;

// Operations by their position in the interface's table; the last Release is recorded as 2.
enum : LONG {
    kUnitRelease = 2,
    kUnitGet = 10,
    kUnitSet = 11,
    kUnitOpen = 12,
    kUnitClose = 13,
};

struct UnitCall {
    LONG object;    // 1 for the first unit object made, 2 for the next, ...
    LONG operation; // kUnit...
    LONG selector;
    LONG length;
    LONG result;
    BYTE bytes[12]; // the first bytes sent by a set, or given back by a get
};

const LONG kUnitCallRecords = 6000;

struct ExtensionUnitControl {
    volatile LONG buttonDown;
    volatile LONG flashConfiguration; // the camera keeps its configuration in the serial flash
    volatile LONG registrations;      // DllRegisterServer calls
    volatile LONG otherCalls;         // calls of the server's own operations (positions 3 to 9)
    volatile LONG objectsMade;
    volatile LONG liveObjects;
    volatile LONG releasedOpen; // objects whose last Release came without CloseUnit after OpenUnit
    volatile LONG callsAfterClose; // controls asked of a closed or never opened unit
    volatile LONG calls;           // calls made; the first kUnitCallRecords are in `record`
    char registeredFrom[MAX_PATH]; // where the registered emxunit.dll was

    // The installer's runs: how it was started, and the token it ran with.
    volatile LONG installerRuns;
    volatile LONG installerRegisters; // the installer registers the server beside it
    volatile LONG installerElevationType;
    volatile LONG installerIsElevated;
    char installerCommandLine[MAX_PATH + 32];
    char installerPath[MAX_PATH];

    UnitCall record[kUnitCallRecords];
};
