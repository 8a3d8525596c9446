// winsim: simulated dynamic libraries with reference-counted loads.
#include "devices_state.h"

#include "winsim/modules.h"

using namespace winsim::detail;

namespace {

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

LoadedModule* Find(HMODULE module) {
    for (auto& l : Devices().modules)
        if (reinterpret_cast<HMODULE>(l.get()) == module && l->references > 0)
            return l.get();
    return nullptr;
}

} // namespace

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
    Devices().moduleNames.push_back(fileName ? fileName : "");
    if (Fails("LoadLibraryA"))
        return nullptr;
    std::string base = Lower(BaseName(fileName ? fileName : ""));
    for (auto& l : Devices().modules)
        if (Lower(l->module.fileName) == base &&
            (l->module.location != winsim::Module::CurrentDirectory ||
             Devices().currentDirectorySearched)) {
            l->references++;
            return reinterpret_cast<HMODULE>(l.get());
        }
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

namespace winsim {

void AddModule(const Module& module) {
    auto l = std::make_unique<LoadedModule>();
    l->module = module;
    Devices().modules.push_back(std::move(l));
}

void RemoveModule(const std::string& fileName) {
    for (auto& l : Devices().modules)
        if (Lower(l->module.fileName) == Lower(fileName))
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

} // namespace winsim
