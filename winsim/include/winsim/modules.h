// winsim: dynamic libraries. LoadLibraryA finds simulated modules by file name; GetProcAddress
// hands out the functions a test gave them.
#pragma once

#include "winsim/win32.h"

#include <functional>
#include <map>
#include <string>

typedef INT_PTR(WINAPI* FARPROC)();

#define LOAD_LIBRARY_SEARCH_APPLICATION_DIR 0x00000200
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000

HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
// Flags 0 search as LoadLibraryA does; the LOAD_LIBRARY_SEARCH_ flags restrict the search to
// the program's folder and the system folder, and fail with ERROR_INVALID_PARAMETER on a
// system whose kernel32 lacks AddDllDirectory (before Windows 8 without its update).
HMODULE WINAPI LoadLibraryExA(LPCSTR fileName, HANDLE file, DWORD flags);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
BOOL WINAPI FreeLibrary(HMODULE module);
BOOL WINAPI SetDllDirectoryA(LPCSTR path);
UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size);

namespace winsim {

// A library the program may load: its exports by name, as function pointers, and where it lies
// on the search path.
struct Module {
    std::string fileName; // "UExProc.dll"
    std::map<std::string, void*> exports;
    // Searched by a bare name in this order: the program's folder, the system folder, the
    // current directory (only until SetDllDirectoryA("") takes it off the path), the folders
    // on PATH. A full path finds the module only in its own folder.
    enum Location {
        ProgramFolder,
        SystemFolder,
        CurrentDirectory,
        PathFolder
    } location = ProgramFolder;
};
// Installs it where LoadLibraryA finds it, by its file name or its full path.
void AddModule(const Module& module);
void RemoveModule(const std::string& fileName);
int LoadedModuleReferences(); // LoadLibraryA calls not yet matched by FreeLibrary
// Every LoadLibraryA and LoadLibraryExA argument, in order.
const std::vector<std::string>& LoadLibraryNames();
// The folders the locations stand for ("C:\Windows\system32", ...), as the program sees them.
std::string ModuleFolder(Module::Location location);
// kernel32.dll and user32.dll are loaded in every process (GetModuleHandleA finds them) and
// export what Windows 7 with its updates has: AddDllDirectory and ChangeWindowMessageFilterEx.
// An older system lacks them.
void RemoveSystemExport(const std::string& module, const std::string& name);

} // namespace winsim
