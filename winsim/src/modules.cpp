// winsim: simulated dynamic libraries with reference-counted loads, the loader's search order,
// and the system libraries every process has loaded.
#include "devices_state.h"

#include "winsim/modules.h"

#include <cstring>

using namespace winsim::detail;

namespace {

const char kSystemFolder[] = "C:\\Windows\\system32";
const char kPathFolder[] = "C:\\Tools"; // a folder on PATH

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Folder(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

LoadedModule* Find(HMODULE module) {
    for (auto& l : Devices().modules)
        if (reinterpret_cast<HMODULE>(l.get()) == module && (l->references > 0 || l->resident))
            return l.get();
    return nullptr;
}

BOOL WINAPI AddDllDirectoryStandIn(LPCSTR) {
    return TRUE;
}

// kernel32 and user32 with the exports the program looks up at run time.
void AddSystemModules() {
    DeviceState& d = Devices();
    if (d.systemModulesAdded)
        return;
    d.systemModulesAdded = true;
    winsim::Module kernel{"kernel32.dll", {}, winsim::Module::SystemFolder};
    kernel.exports["AddDllDirectory"] = reinterpret_cast<void*>(&AddDllDirectoryStandIn);
    winsim::Module user{"user32.dll", {}, winsim::Module::SystemFolder};
    user.exports["ChangeWindowMessageFilterEx"] =
        reinterpret_cast<void*>(&ChangeWindowMessageFilterEx);
    for (auto& m : {kernel, user}) {
        auto l = std::make_unique<LoadedModule>();
        l->module = m;
        l->resident = true;
        d.modules.push_back(std::move(l));
    }
}

LoadedModule* FindAt(const std::string& base, winsim::Module::Location location) {
    for (auto& l : Devices().modules)
        if (l->module.location == location && Lower(l->module.fileName) == base)
            return l.get();
    return nullptr;
}

// The loader's search: a full path only in its own folder; a bare name along the search order,
// or only in the program's and the system's folders when `safeDirs`.
LoadedModule* Search(const std::string& name, bool safeDirs) {
    AddSystemModules();
    using L = winsim::Module;
    std::string base = Lower(BaseName(name));
    if (name.find_first_of("\\/") != std::string::npos) {
        std::string folder = Lower(Folder(name));
        for (L::Location at :
             {L::ProgramFolder, L::SystemFolder, L::CurrentDirectory, L::PathFolder})
            if (Lower(winsim::ModuleFolder(at)) == folder)
                if (LoadedModule* l = FindAt(base, at))
                    return l;
        return nullptr;
    }
    for (L::Location at : {L::ProgramFolder, L::SystemFolder, L::CurrentDirectory, L::PathFolder}) {
        if (safeDirs && at != L::ProgramFolder && at != L::SystemFolder)
            continue;
        if (at == L::CurrentDirectory && !Devices().currentDirectorySearched)
            continue;
        if (LoadedModule* l = FindAt(base, at))
            return l;
    }
    return nullptr;
}

HMODULE Load(LoadedModule* l) {
    if (!l) {
        M().lastError = ERROR_MOD_NOT_FOUND;
        return nullptr;
    }
    if (!l->resident)
        l->references++;
    return reinterpret_cast<HMODULE>(l);
}

} // namespace

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
    Devices().moduleNames.push_back(fileName ? fileName : "");
    if (Fails("LoadLibraryA"))
        return nullptr;
    return Load(Search(fileName ? fileName : "", false));
}

HMODULE WINAPI LoadLibraryExA(LPCSTR fileName, HANDLE file, DWORD flags) {
    Devices().moduleNames.push_back(fileName ? fileName : "");
    if (Fails("LoadLibraryExA"))
        return nullptr;
    const DWORD kSearchFlags = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32 |
                               LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
    if (file || (flags & ~kSearchFlags)) {
        M().lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    AddSystemModules();
    if (flags && !FindAt("kernel32.dll", winsim::Module::SystemFolder)
                      ->module.exports.count("AddDllDirectory")) {
        M().lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    return Load(Search(fileName ? fileName : "", flags != 0));
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    if (Fails("GetModuleHandleA"))
        return nullptr;
    if (!moduleName)
        return winsim::ProgramInstance();
    AddSystemModules();
    std::string base = Lower(BaseName(moduleName));
    for (auto& l : Devices().modules)
        if (Lower(l->module.fileName) == base && (l->resident || l->references > 0))
            return reinterpret_cast<HMODULE>(l.get());
    M().lastError = ERROR_MOD_NOT_FOUND;
    return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
    if (Fails("GetProcAddress"))
        return nullptr;
    LoadedModule* l = Find(module);
    if (!l || !procName) {
        M().lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    auto it = l->module.exports.find(procName);
    if (it == l->module.exports.end()) {
        M().lastError = ERROR_PROC_NOT_FOUND;
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(it->second);
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    if (Fails("FreeLibrary"))
        return FALSE;
    LoadedModule* l = Find(module);
    if (!l) {
        M().lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (!l->resident)
        l->references--;
    return TRUE;
}

BOOL WINAPI SetDllDirectoryA(LPCSTR path) {
    if (Fails("SetDllDirectoryA"))
        return FALSE;
    // "" removes the current directory from the search; NULL restores the default order.
    Devices().currentDirectorySearched = path == nullptr;
    return TRUE;
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) {
    if (Fails("GetSystemDirectoryA"))
        return 0;
    const UINT length = UINT(sizeof kSystemFolder - 1);
    if (!buffer || size <= length)
        return length + 1; // the size needed, terminator included
    std::memcpy(buffer, kSystemFolder, length + 1);
    return length;
}

namespace winsim {

void AddModule(const Module& module) {
    auto l = std::make_unique<LoadedModule>();
    l->module = module;
    Devices().modules.push_back(std::move(l));
}

void RemoveModule(const std::string& fileName) {
    for (auto& l : Devices().modules)
        if (!l->resident && Lower(l->module.fileName) == Lower(fileName))
            l->module.fileName.clear(); // loaded copies stay usable; new loads miss it
}

int LoadedModuleReferences() {
    int n = 0;
    for (auto& l : Devices().modules)
        n += l->references;
    return n;
}

const std::vector<std::string>& LoadLibraryNames() {
    return Devices().moduleNames;
}

std::string ModuleFolder(Module::Location location) {
    switch (location) {
    case Module::ProgramFolder:
        return Folder(detail::M().moduleFileName);
    case Module::SystemFolder:
        return kSystemFolder;
    case Module::CurrentDirectory:
        return Devices().currentDirectory;
    case Module::PathFolder:
        return kPathFolder;
    }
    return std::string();
}

void RemoveSystemExport(const std::string& module, const std::string& name) {
    AddSystemModules();
    for (auto& l : Devices().modules)
        if (l->resident && Lower(l->module.fileName) == Lower(module))
            l->module.exports.erase(name);
}

} // namespace winsim
