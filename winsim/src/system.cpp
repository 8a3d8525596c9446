// winsim: the operating system's version, the process token, the current directory and the
// files GetFileAttributesA finds, ShellExecuteExA, and waits on mutexes that another simulated
// process may hold, release or abandon while virtual time runs.
#include "devices_state.h"

#include <algorithm>
#include <cstring>

using namespace winsim::detail;

namespace {

const uintptr_t kCurrentProcess = uintptr_t(-1);

std::string Text(LPCSTR s) {
    return s ? std::string(s) : std::string("(null)");
}

// Win32 drops trailing spaces and dots from a path's last element before looking it up.
std::string NormalPath(const std::string& path) {
    std::string p = path;
    while (!p.empty() && (p.back() == ' ' || p.back() == '.'))
        p.pop_back();
    return Lower(p);
}

MutexObject* MutexBehind(HANDLE handle) {
    auto it = M().handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == M().handles.end() || it->second.kind != KernelObject::Mutex)
        return nullptr;
    return it->second.mutex.get();
}

std::shared_ptr<MutexObject> NamedMutex(const std::string& name) {
    auto& obj = M().mutexes[name];
    if (!obj) {
        obj = std::make_shared<MutexObject>();
        obj->name = name;
    }
    return obj;
}

// Takes a free mutex for this process; an abandoned one is reported as such once.
DWORD Acquire(MutexObject* mutex) {
    mutex->programOwns++;
    if (mutex->abandoned) {
        mutex->abandoned = false;
        return WAIT_ABANDONED;
    }
    return WAIT_OBJECT_0;
}

} // namespace

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    if (Fails("GetVersionExA"))
        return FALSE;
    // OSVERSIONINFOEXA (156 bytes) is accepted as well; its extra fields stay zero here.
    if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                  info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) + 8)) {
        M().lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    DWORD size = info->dwOSVersionInfoSize;
    *info = Devices().version;
    info->dwOSVersionInfoSize = size;
    return TRUE;
}

HANDLE WINAPI GetCurrentProcess() {
    return reinterpret_cast<HANDLE>(kCurrentProcess);
}

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    if (Fails("OpenProcessToken"))
        return FALSE;
    if (!token || reinterpret_cast<uintptr_t>(process) != kCurrentProcess || !access) {
        M().lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    uintptr_t h = NewHandleValue();
    M().handles[h] = KernelObject{KernelObject::Token, nullptr};
    *token = reinterpret_cast<HANDLE>(h);
    return TRUE;
}

BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                                DWORD length, LPDWORD returnLength) {
    if (Fails("GetTokenInformation"))
        return FALSE;
    Machine& m = M();
    auto it = m.handles.find(reinterpret_cast<uintptr_t>(token));
    if (it == m.handles.end() || it->second.kind != KernelObject::Token) {
        m.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    DeviceState& d = Devices();
    // Elevation arrived with Vista; older systems reject both classes.
    if (d.version.dwMajorVersion < 6 ||
        (infoClass != TokenElevationType && infoClass != TokenElevation)) {
        m.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (!returnLength) {
        m.lastError = ERROR_INVALID_PARAMETER; // Windows faults on a null length
        return FALSE;
    }
    *returnLength = sizeof(DWORD);
    if (length < sizeof(DWORD) || !info) {
        m.lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    DWORD value = infoClass == TokenElevationType ? d.elevationType : (d.elevated ? 1 : 0);
    std::memcpy(info, &value, sizeof value);
    return TRUE;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD length, LPSTR buffer) {
    if (Fails("GetCurrentDirectoryA"))
        return 0;
    const std::string& dir = Devices().currentDirectory;
    // Too small: the size needed, terminator included, and the buffer untouched.
    if (!buffer || length < dir.size() + 1)
        return DWORD(dir.size() + 1);
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return DWORD(dir.size());
}

DWORD WINAPI GetFileAttributesA(LPCSTR fileName) {
    if (Fails("GetFileAttributesA"))
        return INVALID_FILE_ATTRIBUTES;
    std::string path = NormalPath(fileName ? fileName : "");
    if (Devices().files.count(path) || path == NormalPath(M().moduleFileName))
        return FILE_ATTRIBUTE_ARCHIVE;
    M().lastError = ERROR_FILE_NOT_FOUND;
    return INVALID_FILE_ATTRIBUTES;
}

BOOL WINAPI ShellExecuteExA(LPSHELLEXECUTEINFOA info) {
    if (Fails("ShellExecuteExA"))
        return FALSE;
    if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOA)) {
        M().lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    DeviceState& d = Devices();
    winsim::ShellExecution e{info->cbSize,
                             info->fMask,
                             info->hwnd,
                             Text(info->lpVerb),
                             Text(info->lpFile),
                             Text(info->lpParameters),
                             Text(info->lpDirectory),
                             info->nShow,
                             M().now,
                             true};
    bool prompt = info->lpVerb && std::strcmp(info->lpVerb, "runas") == 0;
    e.accepted = !prompt || d.elevationAccepted;
    if (e.accepted && !d.files.count(NormalPath(e.file)))
        e.accepted = false, M().lastError = ERROR_FILE_NOT_FOUND;
    else if (!e.accepted)
        M().lastError = ERROR_CANCELLED;
    d.shellExecutions.push_back(e);
    if (e.accepted) {
        info->hInstApp = reinterpret_cast<HINSTANCE>(uintptr_t(42)); // > 32: success
        if (d.started)
            d.started(e);
    }
    return e.accepted;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    if (Fails("WaitForSingleObject"))
        return WAIT_FAILED;
    MutexObject* mutex = MutexBehind(handle);
    if (!mutex) {
        M().lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    // Keep the object alive across events that may close the other process's handle.
    auto keep = M().handles[reinterpret_cast<uintptr_t>(handle)].mutex;
    const uint64_t start = M().now;
    DWORD result = WAIT_TIMEOUT;
    if (!mutex->otherOwns) {
        result = Acquire(mutex);
    } else if (milliseconds == INFINITE && NextEventTime() == UINT64_MAX) {
        throw winsim::Stall("WaitForSingleObject(INFINITE) on a mutex nobody will release");
    } else {
        uint64_t deadline = milliseconds == INFINITE ? UINT64_MAX : M().now + milliseconds;
        for (;;) {
            uint64_t next = NextEventTime();
            if (next > deadline)
                break;
            AdvanceTo(std::max(next, M().now));
            if (!mutex->otherOwns)
                break;
        }
        if (mutex->otherOwns)
            AdvanceTo(deadline);
        else
            result = Acquire(mutex);
    }
    if (M().recordCallLog)
        Devices().mutexWaits.push_back({mutex->name, milliseconds, result, start, M().now});
    return result;
}

BOOL WINAPI ReleaseMutex(HANDLE handle) {
    if (Fails("ReleaseMutex"))
        return FALSE;
    MutexObject* mutex = MutexBehind(handle);
    if (!mutex) {
        M().lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (mutex->programOwns == 0) {
        M().lastError = ERROR_NOT_OWNER;
        return FALSE;
    }
    // The last release hands the mutex to another process that waits for it.
    if (--mutex->programOwns == 0 && mutex->otherWaits) {
        mutex->otherWaits = false;
        mutex->otherOwns = true;
    }
    return TRUE;
}

namespace winsim {

void SetWindowsVersion(DWORD major, DWORD minor, DWORD build, DWORD platform) {
    OSVERSIONINFOA& v = Devices().version;
    v.dwMajorVersion = major;
    v.dwMinorVersion = minor;
    v.dwBuildNumber = build;
    v.dwPlatformId = platform;
}

void SetProcessElevation(DWORD elevationType, bool elevated) {
    Devices().elevationType = elevationType;
    Devices().elevated = elevated;
}

void SetProcessDirectory(const std::string& path) {
    Devices().currentDirectory = path;
}

void AddFile(const std::string& path) {
    Devices().files.insert(NormalPath(path));
}

void RemoveFile(const std::string& path) {
    Devices().files.erase(NormalPath(path));
}

const std::vector<ShellExecution>& ShellExecutions() {
    return Devices().shellExecutions;
}

void ScriptElevation(bool accept, std::function<void(const ShellExecution&)> started) {
    Devices().elevationAccepted = accept;
    Devices().started = std::move(started);
}

bool OtherProcessTakesMutex(const std::string& name) {
    auto obj = NamedMutex(name);
    if (!obj->otherOwns && !obj->otherWaits) {
        obj->handles++; // the other process's own handle
        M().otherProcessMutexes.push_back(obj);
    }
    // While this process owns it, the other one waits for its release.
    if (obj->programOwns) {
        obj->otherWaits = true;
        return false;
    }
    obj->otherOwns = true;
    obj->abandoned = false;
    return true;
}

void OtherProcessReleasesMutex(const std::string& name) {
    auto it = M().mutexes.find(name);
    if (it != M().mutexes.end()) {
        it->second->otherOwns = false;
        it->second->otherWaits = false;
    }
}

void OtherProcessAbandonsMutex(const std::string& name) {
    auto it = M().mutexes.find(name);
    if (it != M().mutexes.end() && it->second->otherOwns) {
        it->second->otherOwns = false;
        it->second->abandoned = true;
    }
}

int MutexOwnedByProgram(const std::string& name) {
    auto it = M().mutexes.find(name);
    return it == M().mutexes.end() ? 0 : it->second->programOwns;
}

const std::vector<MutexWait>& MutexWaits() {
    return Devices().mutexWaits;
}

} // namespace winsim
