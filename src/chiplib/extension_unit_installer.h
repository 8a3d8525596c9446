// Extension-unit control installer: makes sure Empia's extension-unit server is registered and
// recent enough before transport 1 looks for a camera, by registering it in this process or by
// starting Empia's installer elevated.
#pragma once

#include "win32api.h"

const DWORD kMinimumServerVersion = 0x1000;

// What lives for the whole run: whether the elevated installer was started (or refused) once.
struct ExtensionUnitInstaller {
    bool installerTried;
};
extern ExtensionUnitInstaller gExtensionUnitInstaller;

int IsNt6OrLater();
HRESULT GetElevationType(DWORD* type);
HRESULT GetIsElevated(DWORD* elevated);
int FileExists(const char* path);
// 1 when both registry values were read and the server file exists; *version is 0 first.
int ReadInstalledVersion(DWORD* version);
BOOL RunElevated(const char* path);
void InstallExtensionUnitControl(const char* library);
void EnsureExtensionUnitControl();
