// winsim: dynamic libraries. LoadLibraryA finds simulated modules by file name; GetProcAddress
// hands out the functions a test gave them.
#pragma once

#include "winsim/win32.h"

#include <functional>
#include <map>
#include <string>

typedef INT_PTR(WINAPI* FARPROC)();

HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
BOOL WINAPI FreeLibrary(HMODULE module);
BOOL WINAPI SetDllDirectoryA(LPCSTR path);

namespace winsim {

// A library the program may load: its exports by name, as function pointers, and where it lies
// on the search path.
struct Module {
    std::string fileName; // "UExProc.dll"
    std::map<std::string, void*> exports;
    // The current directory is searched only until SetDllDirectoryA("") takes it off the path.
    enum Location { ProgramFolder, SystemFolder, CurrentDirectory } location = ProgramFolder;
};
// Installs it where LoadLibraryA finds it, by its file name or any path ending in it.
void AddModule(const Module& module);
void RemoveModule(const std::string& fileName);
int LoadedModuleReferences(); // LoadLibraryA calls not yet matched by FreeLibrary
const std::vector<std::string>& LoadLibraryNames(); // every LoadLibraryA argument, in order

} // namespace winsim
