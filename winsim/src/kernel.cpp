// winsim: the machine itself (virtual time, scheduled events, scripted faults) and the kernel32
// and winmm calls: last error, named mutexes, handles, Sleep, ticks, debugger output, module path.
#include "devices_state.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace winsim::detail {

// Never destroyed: the program's static objects may still call in while the process exits.
static Machine* gMachine = new Machine;

Machine& M() {
    return *gMachine;
}

std::string Lower(const std::string& s) {
    std::string r = s;
    for (char& c : r)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return r;
}

bool Fails(const char* function) {
    Machine& m = M();
    uint64_t global = ++m.calls;
    auto counted = m.callsByName.find(std::string_view(function));
    if (counted == m.callsByName.end())
        counted = m.callsByName.emplace(function, 0).first;
    uint64_t own = ++counted->second;
    if (m.recordCallLog)
        m.callLog.push_back(function);
    for (auto it = m.faults.begin(); it != m.faults.end(); ++it) {
        bool hit;
        if (it->function.empty())
            hit = global == it->atCall;
        else if (it->function == function)
            hit = it->always || own == it->atCall;
        else
            continue;
        if (!hit)
            continue;
        m.lastError = it->error;
        if (!it->always)
            m.faults.erase(it);
        return true;
    }
    return false;
}

uintptr_t NewHandleValue() {
    uintptr_t h = M().nextHandle;
    M().nextHandle += 4;
    return h;
}

uint64_t NextEventTime() {
    uint64_t t = UINT64_MAX;
    for (const Event& e : M().events)
        t = std::min(t, e.time);
    return t;
}

void RunDueEvents() {
    for (;;) {
        Machine& m = M();
        auto due = m.events.end();
        for (auto it = m.events.begin(); it != m.events.end(); ++it)
            if (it->time <= m.now && (due == m.events.end() || it->time < due->time ||
                                      (it->time == due->time && it->seq < due->seq)))
                due = it;
        if (due == m.events.end())
            return;
        std::function<void()> action = std::move(due->action);
        m.events.erase(due);
        action();
    }
}

void AdvanceTo(uint64_t time) {
    Machine& m = M();
    if (time > m.timeLimit)
        throw Stall("virtual time would pass the test's time limit (" +
                    std::to_string(m.timeLimit) + " ms)");
    for (;;) {
        RunDueEvents();
        uint64_t next = NextEventTime();
        if (next > time)
            break;
        m.now = std::max(m.now, next);
    }
    m.now = std::max(m.now, time);
    RunDueEvents();
}

} // namespace winsim::detail

using namespace winsim::detail;

namespace winsim {

void Reset() {
    delete gMachine;
    gMachine = new Machine;
    // Every profile and machine has its lasting Software key.
    RegPutKey(HKEY_CURRENT_USER, "Software");
    RegPutKey(HKEY_LOCAL_MACHINE, "Software");
}

uint64_t Now() {
    return M().now;
}
void SetClockBase(DWORD base) {
    M().clockBase = base;
}
void At(uint64_t time, std::function<void()> action) {
    M().events.push_back(Event{time, M().eventSeq++, std::move(action)});
}
void After(uint64_t delay, std::function<void()> action) {
    At(M().now + delay, std::move(action));
}
void SetTimeLimit(uint64_t time) {
    M().timeLimit = time;
}

HINSTANCE ProgramInstance() {
    return reinterpret_cast<HINSTANCE>(uintptr_t(0x400000));
}

void SetModuleFileName(const std::string& path) {
    M().moduleFileName = path;
}
void SetSystemMetric(int index, int value) {
    M().metrics[index] = value;
}

int OpenHandleCount() {
    return int(M().handles.size());
}

void OtherProcessCreatesMutex(const std::string& name, bool otherUser) {
    Machine& m = M();
    auto& obj = m.mutexes[name];
    if (!obj) {
        obj = std::make_shared<MutexObject>();
        obj->name = name;
    }
    obj->handles++;
    obj->otherUser = otherUser;
    m.otherProcessMutexes.push_back(obj);
}

bool MutexExists(const std::string& name) {
    return M().mutexes.count(name) != 0;
}

const std::vector<std::string>& DebugOutput() {
    return M().debugOutput;
}

void FailCall(const std::string& function, int occurrence, DWORD error) {
    uint64_t base = M().callsByName[function];
    M().faults.push_back(Fault{function, base + uint64_t(occurrence), false, error});
}
void FailAlways(const std::string& function, DWORD error) {
    M().faults.push_back(Fault{function, 0, true, error});
}
void StopFailing(const std::string& function) {
    auto& faults = M().faults;
    faults.erase(std::remove_if(faults.begin(), faults.end(),
                                [&](const Fault& f) { return f.function == function; }),
                 faults.end());
}
void FailNthCall(uint64_t n, DWORD error) {
    M().faults.push_back(Fault{"", M().calls + n, false, error});
}
uint64_t CallCount() {
    return M().calls;
}
const std::vector<std::string>& CallLog() {
    return M().callLog;
}
void RecordCallLog(bool record) {
    M().recordCallLog = record;
}
void Note(const std::string& text) {
    M().callLog.push_back(text);
}
uint64_t CallCount(const std::string& function) {
    auto it = M().callsByName.find(function);
    return it == M().callsByName.end() ? 0 : it->second;
}

} // namespace winsim

DWORD WINAPI GetLastError() {
    return M().lastError;
}
void WINAPI SetLastError(DWORD error) {
    M().lastError = error;
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    if (Fails("CreateMutexA"))
        return nullptr;
    Machine& m = M();
    std::shared_ptr<MutexObject> obj;
    bool existed = false;
    if (name) {
        auto it = m.mutexes.find(name);
        if (it != m.mutexes.end()) {
            if (it->second->otherUser) {
                m.lastError = ERROR_ACCESS_DENIED;
                return nullptr;
            }
            obj = it->second;
            existed = true;
        }
    }
    if (!obj) {
        obj = std::make_shared<MutexObject>();
        if (name) {
            obj->name = name;
            m.mutexes[name] = obj;
        }
    }
    // Initial ownership goes only to the creator; opening an existing mutex ignores the flag.
    if (initialOwner && !existed)
        obj->programOwns = 1;
    obj->handles++;
    uintptr_t h = NewHandleValue();
    m.handles[h] = KernelObject{KernelObject::Mutex, obj};
    m.lastError = existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    return reinterpret_cast<HANDLE>(h);
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    if (Fails("CloseHandle"))
        return FALSE;
    Machine& m = M();
    auto it = m.handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == m.handles.end()) {
        m.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (it->second.kind == KernelObject::Mutex) {
        auto obj = it->second.mutex;
        if (--obj->handles == 0 && !obj->name.empty())
            m.mutexes.erase(obj->name);
    }
    if (it->second.device && it->second.device->named)
        it->second.device->named->opens--;
    m.handles.erase(it);
    return TRUE;
}

void WINAPI Sleep(DWORD milliseconds) {
    Fails("Sleep");
    AdvanceTo(M().now + milliseconds);
}

DWORD WINAPI GetTickCount() {
    Fails("GetTickCount");
    return DWORD(M().clockBase + M().now);
}

DWORD WINAPI timeGetTime() {
    Fails("timeGetTime");
    return DWORD(M().clockBase + M().now);
}

void WINAPI OutputDebugStringA(LPCSTR text) {
    Fails("OutputDebugStringA");
    M().debugOutput.push_back(text ? text : "");
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    if (Fails("GetModuleFileNameA"))
        return 0;
    Machine& m = M();
    if (module && module != winsim::ProgramInstance()) {
        m.lastError = ERROR_INVALID_HANDLE;
        return 0;
    }
    if (size == 0) {
        m.lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    const std::string& path = m.moduleFileName;
    if (path.size() < size) {
        std::memcpy(fileName, path.c_str(), path.size() + 1);
        m.lastError = ERROR_SUCCESS;
        return DWORD(path.size());
    }
    // Too small: cut to size - 1 characters, terminated, and the whole size is returned.
    std::memcpy(fileName, path.c_str(), size - 1);
    fileName[size - 1] = '\0';
    m.lastError = ERROR_INSUFFICIENT_BUFFER;
    return size;
}
