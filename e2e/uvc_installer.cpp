// A stand-in for the extension-unit server's installer "Install_UvcCtrl.exe", for the end-to-end
// suite: records how it was started and with which token, then registers the emxunit.dll that
// lies beside it, as the real installer registers the server it brings.
#include <windows.h>

#include "e2e/extension_unit_control.h"

#include <string>

namespace {

typedef HRESULT(WINAPI* RegisterServerFunction)();

DWORD TokenFact(TOKEN_INFORMATION_CLASS infoClass) {
    HANDLE token = nullptr;
    DWORD value = 0xFFFFFFFF, returned = 0;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        if (!GetTokenInformation(token, infoClass, &value, sizeof value, &returned))
            value = 0xFFFFFFFF;
        CloseHandle(token);
    }
    return value;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kExtensionUnitControlName);
    auto* control = mapping ? static_cast<ExtensionUnitControl*>(MapViewOfFile(
                                  mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ExtensionUnitControl)))
                            : nullptr;
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (control) {
        control->installerElevationType = LONG(TokenFact(TokenElevationType));
        control->installerIsElevated = LONG(TokenFact(TokenElevation));
        lstrcpynA(control->installerCommandLine, GetCommandLineA(),
                  sizeof control->installerCommandLine);
        lstrcpynA(control->installerPath, self, MAX_PATH);
        InterlockedIncrement(&control->installerRuns);
    }
    if (control && !control->installerRegisters)
        return 0;
    std::string server(self);
    server.resize(server.find_last_of('\\') + 1);
    server += "emxunit.dll";
    HMODULE module = LoadLibraryA(server.c_str());
    if (!module)
        return 2;
    auto registerServer = reinterpret_cast<RegisterServerFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "DllRegisterServer")));
    HRESULT hr = registerServer ? registerServer() : E_FAIL;
    FreeLibrary(module);
    return SUCCEEDED(hr) ? 0 : 3;
}
