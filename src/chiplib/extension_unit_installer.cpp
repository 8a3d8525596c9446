// Extension-unit control installer: reads the server's registration record and, when it is
// missing or old, registers "emxunit.dll" in this process (elevated or pre-Vista) or starts
// "\Install_UvcCtrl.exe " from the program's folder with the shell verb "runas".
#include "chiplib/extension_unit_installer.h"

#include <cstring>

ExtensionUnitInstaller gExtensionUnitInstaller = {};

namespace {

const char kServerKey[] = "Software\\Empia\\UVC Extension Control";
const char kServerLibrary[] = "emxunit.dll";
// Empia's file name, trailing space included.
const char kInstallerName[] = "\\Install_UvcCtrl.exe ";
const DWORD kPathBytes = 260;
const DWORD kRegisterPauseMs = 300;
const DWORD kInstallerPauseMs = 1500;

typedef HRESULT(WINAPI* RegisterServerFunction)();

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record the system expects");
static_assert(sizeof(void*) != 4 || sizeof(SHELLEXECUTEINFOA) == 60,
              "the 32-bit shell execution record");

// Reads the token's 32-bit fact of `infoClass`, exactly 4 bytes of it.
HRESULT ReadTokenFact(TOKEN_INFORMATION_CLASS infoClass, DWORD* out) {
    if (!IsNt6OrLater())
        return E_FAIL;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return E_FAIL;
    DWORD value = 0, returned = 0;
    BOOL got = GetTokenInformation(token, infoClass, &value, sizeof value, &returned);
    CloseHandle(token);
    if (!got || returned != sizeof value)
        return E_FAIL;
    *out = value;
    return S_OK;
}

bool RegisterInProcess() {
    if (!IsNt6OrLater())
        return true;
    DWORD type = 0, elevated = 0;
    return SUCCEEDED(GetElevationType(&type)) && SUCCEEDED(GetIsElevated(&elevated)) &&
           (type == TokenElevationTypeFull || elevated == 1);
}

// The folder of the running program, without a trailing backslash, or "" when it cannot be
// had whole.
DWORD ProgramFolder(char* folder) {
    char path[kPathBytes] = {};
    DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), path, kPathBytes);
    if (length == 0 || length >= kPathBytes)
        return 0;
    while (length > 0 && path[length - 1] != '\\')
        --length;
    if (length == 0)
        return 0;
    --length; // the backslash
    std::memcpy(folder, path, length);
    folder[length] = '\0';
    return length;
}

// `folder` + "\" + `name` into `path` (kPathBytes); false when it does not fit.
bool JoinPath(char* path, const char* folder, DWORD folderLength, const char* name) {
    size_t nameLength = std::strlen(name);
    if (folderLength == 0 || folderLength + 1 + nameLength + 1 > kPathBytes)
        return false;
    std::memcpy(path, folder, folderLength);
    path[folderLength] = '\\';
    std::memcpy(path + folderLength + 1, name, nameLength + 1);
    return true;
}

// Loads the server from the program's folder or the system's, never through PATH or the current
// directory: this runs elevated, and a DLL planted in either would run with the user's rights
// raised. Systems that know the safe search flags (kernel32 then exports AddDllDirectory) are
// asked for it; older ones are given the two full paths.
HMODULE LoadServerLibrary(const char* library) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel && GetProcAddress(kernel, "AddDllDirectory"))
        return LoadLibraryExA(library, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    char folder[kPathBytes] = {};
    char path[kPathBytes] = {};
    DWORD length = ProgramFolder(folder);
    if (JoinPath(path, folder, length, library)) {
        if (HMODULE module = LoadLibraryA(path))
            return module;
    }
    length = GetSystemDirectoryA(folder, kPathBytes);
    if (length >= kPathBytes || !JoinPath(path, folder, length, library))
        return nullptr;
    return LoadLibraryA(path);
}

void RegisterLibrary(const char* library) {
    HMODULE module = LoadServerLibrary(library);
    if (!module)
        return;
    // Through the one function type that converts to any other without a warning.
    auto registerServer = reinterpret_cast<RegisterServerFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "DllRegisterServer")));
    if (registerServer)
        registerServer();
    FreeLibrary(module);
    Sleep(kRegisterPauseMs);
}

void RunInstaller() {
    // A user who declined the prompt once is not asked again at every re-initialisation.
    if (gExtensionUnitInstaller.installerTried)
        return;
    // Beside the program, not in the current directory: at logon that is the system folder,
    // otherwise wherever the user's shell stood, and a file planted there would be started
    // elevated. A failed or cut path would run the wrong program elevated: run nothing.
    char directory[kPathBytes] = {};
    char path[kPathBytes] = {};
    DWORD length = ProgramFolder(directory);
    if (length == 0 || length + sizeof kInstallerName > kPathBytes)
        return;
    std::memcpy(path, directory, length);
    std::memcpy(path + length, kInstallerName, sizeof kInstallerName);
    if (!FileExists(path))
        return;
    gExtensionUnitInstaller.installerTried = true;
    if (!RunElevated(path))
        return;
    // The installer runs on its own; after this pause we go on as if the server were ready.
    Sleep(kInstallerPauseMs);
}

} // namespace

int IsNt6OrLater() {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info))
        return 0;
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 6 ? 1 : 0;
}

HRESULT GetElevationType(DWORD* type) {
    return ReadTokenFact(TokenElevationType, type);
}

HRESULT GetIsElevated(DWORD* elevated) {
    return ReadTokenFact(TokenElevation, elevated);
}

int FileExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

int ReadInstalledVersion(DWORD* version) {
    *version = 0;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kServerKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return 0;
    // One byte beyond the 260 the value may fill, so that a 259-character path stored with its
    // terminator is read whole and one stored without it still ends inside the buffer.
    char path[kPathBytes + 1] = {};
    DWORD type = REG_DWORD, size = sizeof *version;
    LSTATUS status = RegQueryValueExA(key, "Version Number", nullptr, &type,
                                      reinterpret_cast<BYTE*>(version), &size);
    if (status == ERROR_SUCCESS) {
        type = REG_SZ;
        size = kPathBytes;
        status = RegQueryValueExA(key, "FileName Path", nullptr, &type,
                                  reinterpret_cast<BYTE*>(path), &size);
        path[kPathBytes] = '\0';
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return 0;
    return FileExists(path);
}

BOOL RunElevated(const char* path) {
    SHELLEXECUTEINFOA info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = 0;
    info.hwnd = nullptr;
    info.lpVerb = "runas";
    info.lpFile = path;
    info.lpParameters = nullptr;
    info.lpDirectory = nullptr;
    info.nShow = SW_HIDE;
    return ShellExecuteExA(&info);
}

void InstallExtensionUnitControl(const char* library) {
    if (RegisterInProcess())
        RegisterLibrary(library);
    else
        RunInstaller();
}

void EnsureExtensionUnitControl() {
    if (!IsNt6OrLater()) {
        InstallExtensionUnitControl(kServerLibrary);
        return;
    }
    DWORD version = 0;
    if (!ReadInstalledVersion(&version) || version < kMinimumServerVersion)
        InstallExtensionUnitControl(kServerLibrary);
}
