// System behaviour the register library relies on: mutex waits against another owner, abandoned
// mutexes, the system device enumerator on an empty category, the version record's sizes, the
// token's elevation facts, strings and variants, the current directory and file lookups.
#include "ok.h"

#include "win32api.h"

#include <cstring>
#include <cwchar>

#ifdef _WIN32
#include <string>
#else
#include "winsim/system.h"
#endif

namespace {

const char kMutexName[] = "Vexor2ConformanceLibraryMutex";

// Another owner of the named mutex: a thread on Windows, another simulated process in winsim.
// Hold takes the mutex before it returns; TryHold takes it only if it is free now.
struct Peer {
    const char* name = kMutexName;
#ifdef _WIN32
    HANDLE take = nullptr, let = nullptr, thread = nullptr;
    bool patient = true, took = false, abandon = false;
    static DWORD WINAPI Run(LPVOID self) {
        Peer* p = static_cast<Peer*>(self);
        HANDLE m = CreateMutexA(nullptr, FALSE, p->name);
        p->took = WaitForSingleObject(m, p->patient ? INFINITE : 0) == WAIT_OBJECT_0;
        SetEvent(p->take);
        if (p->took) {
            WaitForSingleObject(p->let, INFINITE);
            if (!p->abandon)
                ReleaseMutex(m);
        }
        CloseHandle(m);
        return 0; // a thread ending with the mutex owned abandons it
    }
    bool Start(bool waitForIt) {
        patient = waitForIt;
        take = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        let = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
        WaitForSingleObject(take, INFINITE);
        if (!took)
            Finish();
        return took;
    }
    void Finish() {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        CloseHandle(take);
        CloseHandle(let);
    }
    void Hold() {
        Start(true);
    }
    bool TryHold() {
        return Start(false);
    }
    void End(bool abandonIt) {
        abandon = abandonIt;
        SetEvent(let);
        Finish();
    }
#else
    void Hold() {
        winsim::OtherProcessTakesMutex(name);
    }
    bool TryHold() {
        if (winsim::OtherProcessTakesMutex(name))
            return true;
        winsim::OtherProcessReleasesMutex(name); // it gives up waiting
        return false;
    }
    void End(bool abandonIt) {
        if (abandonIt)
            winsim::OtherProcessAbandonsMutex(name);
        else
            winsim::OtherProcessReleasesMutex(name);
    }
#endif
};

} // namespace

CONFORMANCE_TEST(mutex_wait_against_another_owner) {
    HANDLE mine = CreateMutexA(nullptr, FALSE, kMutexName);
    ok(mine != nullptr, "CreateMutexA failed with %lu", (unsigned long)GetLastError());
    Peer peer;
    peer.Hold();

    DWORD before = GetTickCount();
    DWORD wait = WaitForSingleObject(mine, 200);
    DWORD waited = GetTickCount() - before;
    ok(wait == WAIT_TIMEOUT, "a held mutex gave %#lx", (unsigned long)wait);
    ok(waited >= 150, "the wait ended after %lu ms", (unsigned long)waited);
    SetLastError(0xdeadbeef);
    ok(!ReleaseMutex(mine), "released a mutex it did not own");
    ok(GetLastError() == ERROR_NOT_OWNER, "last error %lu", (unsigned long)GetLastError());

    peer.End(false);
    wait = WaitForSingleObject(mine, 1000);
    ok(wait == WAIT_OBJECT_0, "a released mutex gave %#lx", (unsigned long)wait);
    ok(ReleaseMutex(mine), "ReleaseMutex failed with %lu", (unsigned long)GetLastError());
    CloseHandle(mine);
}

// Only the creator gets initial ownership, and no other owner can take the mutex meanwhile.
CONFORMANCE_TEST(mutex_initial_owner) {
    // A name of its own: in winsim the other process of the tests above keeps its handle.
    const char name[] = "Vexor2ConformanceOwnedMutex";
    SetLastError(0xdeadbeef);
    HANDLE mine = CreateMutexA(nullptr, TRUE, name);
    ok(mine != nullptr && GetLastError() == ERROR_SUCCESS, "CreateMutexA gave %p, error %lu", mine,
       (unsigned long)GetLastError());
    Peer peer;
    peer.name = name;
    ok(!peer.TryHold(), "another owner took a mutex created owned");
    ok(ReleaseMutex(mine), "the creator did not own it: error %lu", (unsigned long)GetLastError());
    SetLastError(0xdeadbeef);
    ok(!ReleaseMutex(mine) && GetLastError() == ERROR_NOT_OWNER, "a second release: error %lu",
       (unsigned long)GetLastError());
    bool took = peer.TryHold();
    ok(took, "a released mutex could not be taken");
    if (took)
        peer.End(false);

    // Opening an existing mutex ignores the initial-owner flag.
    SetLastError(0xdeadbeef);
    HANDLE again = CreateMutexA(nullptr, TRUE, name);
    ok(again != nullptr && GetLastError() == ERROR_ALREADY_EXISTS, "reopening gave error %lu",
       (unsigned long)GetLastError());
    SetLastError(0xdeadbeef);
    ok(!ReleaseMutex(again) && GetLastError() == ERROR_NOT_OWNER,
       "reopening with the flag gave ownership: error %lu", (unsigned long)GetLastError());
    CloseHandle(again);
    CloseHandle(mine);
}

CONFORMANCE_TEST(abandoned_mutex_gives_ownership) {
    HANDLE mine = CreateMutexA(nullptr, FALSE, kMutexName);
    Peer peer;
    peer.Hold();
    peer.End(true);
    DWORD wait = WaitForSingleObject(mine, 1000);
    ok(wait == WAIT_ABANDONED, "an abandoned mutex gave %#lx", (unsigned long)wait);
    // The abandoned wait made this thread the owner: it must release it.
    ok(ReleaseMutex(mine), "ReleaseMutex after WAIT_ABANDONED failed with %lu",
       (unsigned long)GetLastError());
    wait = WaitForSingleObject(mine, 0);
    ok(wait == WAIT_OBJECT_0, "the next wait gave %#lx", (unsigned long)wait);
    ReleaseMutex(mine);
    CloseHandle(mine);
}

CONFORMANCE_TEST(device_enumerator_on_an_empty_category) {
    ok(SUCCEEDED(CoInitialize(nullptr)), "CoInitialize failed");
    ICreateDevEnum* devices = nullptr;
    HRESULT hr =
        CoCreateInstance(CLSID_SystemDeviceEnum, nullptr,
                         CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                         IID_ICreateDevEnum, reinterpret_cast<void**>(&devices));
    ok(hr == S_OK && devices, "CoCreateInstance gave %#lx", (unsigned long)hr);
    if (devices) {
        const GUID nobody = {
            0x5E7A1C2B, 0x0C5A, 0x4E7D, {0x9A, 0x10, 0x56, 0x0E, 0x77, 0x21, 0x3B, 0x02}};
        IEnumMoniker* monikers = reinterpret_cast<IEnumMoniker*>(uintptr_t(0xdeadbeef));
        hr = devices->CreateClassEnumerator(nobody, &monikers, 0);
        ok(hr == S_FALSE, "an empty category gave %#lx", (unsigned long)hr);
        ok(monikers == nullptr, "an empty category gave an enumerator %p", (void*)monikers);
        ULONG left = devices->Release();
        // Wine's enumerator is one static object whose Release always reports 1; Windows
        // creates one per CoCreateInstance and frees it with its last reference.
        if (!skip_under_wine("the system device enumerator is a static object"))
            ok(left == 0, "the enumerator kept %lu references", (unsigned long)left);
    }
    // An in-process class asked for out of process only: not registered for that context.
    devices = reinterpret_cast<ICreateDevEnum*>(uintptr_t(0xdeadbeef));
    hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_LOCAL_SERVER, IID_ICreateDevEnum,
                          reinterpret_cast<void**>(&devices));
    ok(FAILED(hr), "a local server gave %#lx", (unsigned long)hr);
    // Wine looks for the class's LocalServer32 key and reports it missing (REGDB_E_KEYMISSING).
    if (!skip_under_wine("an in-process class asked for as a local server: REGDB_E_KEYMISSING"))
        ok(hr == REGDB_E_CLASSNOTREG, "a local server gave %#lx", (unsigned long)hr);
    ok(devices == nullptr, "the out pointer was left at %p", (void*)devices);
    CoUninitialize();
}

CONFORMANCE_TEST(version_record_sizes) {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    ok(sizeof info == 148, "OSVERSIONINFOA is %u bytes", (unsigned)sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    ok(GetVersionExA(&info), "GetVersionExA failed with %lu", (unsigned long)GetLastError());
    ok(info.dwPlatformId == VER_PLATFORM_WIN32_NT, "platform %lu",
       (unsigned long)info.dwPlatformId);
    ok(info.dwMajorVersion >= 5, "major version %lu", (unsigned long)info.dwMajorVersion);

    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info - 1;
    SetLastError(0xdeadbeef);
    ok(!GetVersionExA(&info), "a wrong size was accepted");
    ok(GetLastError() == ERROR_INSUFFICIENT_BUFFER, "last error %lu",
       (unsigned long)GetLastError());
}

CONFORMANCE_TEST(token_elevation_facts) {
    HANDLE token = nullptr;
    ok(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token), "OpenProcessToken failed");
    DWORD value = 0xdeadbeef, returned = 0;
    ok(GetTokenInformation(token, TokenElevationType, &value, sizeof value, &returned),
       "TokenElevationType failed with %lu", (unsigned long)GetLastError());
    ok(returned == 4 && value >= 1 && value <= 3, "type %lu, length %lu", (unsigned long)value,
       (unsigned long)returned);
    value = 0xdeadbeef;
    returned = 0;
    ok(GetTokenInformation(token, TokenElevation, &value, sizeof value, &returned),
       "TokenElevation failed with %lu", (unsigned long)GetLastError());
    ok(returned == 4 && value <= 1, "elevated %lu, length %lu", (unsigned long)value,
       (unsigned long)returned);
    // Too small a buffer: failure, with the length needed.
    BYTE small[2];
    returned = 0;
    SetLastError(0xdeadbeef);
    ok(!GetTokenInformation(token, TokenElevationType, small, sizeof small, &returned),
       "a 2-byte buffer was accepted");
    ok(GetLastError() == ERROR_INSUFFICIENT_BUFFER && returned == 4, "error %lu, length %lu",
       (unsigned long)GetLastError(), (unsigned long)returned);
    ok(CloseHandle(token), "CloseHandle failed");
}

CONFORMANCE_TEST(strings_and_variants) {
    BSTR s = SysAllocString(L"FriendlyName");
    ok(s && SysStringLen(s) == 12 && std::wcscmp(s, L"FriendlyName") == 0, "SysAllocString");
    VARIANT v;
    std::memset(&v, 0xCC, sizeof v);
    VariantInit(&v);
    ok(v.vt == VT_EMPTY, "VariantInit left type %u", (unsigned)v.vt);
    v.vt = VT_BSTR;
    v.bstrVal = s;
    ok(VariantClear(&v) == S_OK, "VariantClear failed");
    ok(v.vt == VT_EMPTY, "VariantClear left type %u", (unsigned)v.vt);
    SysFreeString(nullptr); // allowed

    // A friendly name to the ANSI code page, terminator included with a length of -1.
    char narrow[32];
    std::memset(narrow, 'x', sizeof narrow);
    int n = WideCharToMultiByte(CP_ACP, 0, L"USB 2800 Video", -1, narrow, sizeof narrow, nullptr,
                                nullptr);
    ok(n == 15 && std::strcmp(narrow, "USB 2800 Video") == 0, "converted %d: '%s'", n, narrow);
    ok(WideCharToMultiByte(CP_ACP, 0, L"USB 2800 Video", -1, narrow, 4, nullptr, nullptr) == 0,
       "a short buffer was filled");
    ok(GetLastError() == ERROR_INSUFFICIENT_BUFFER, "last error %lu",
       (unsigned long)GetLastError());
}

CONFORMANCE_TEST(current_directory_and_file_lookups) {
    DWORD needed = GetCurrentDirectoryA(0, nullptr);
    ok(needed > 1, "GetCurrentDirectoryA(0) gave %lu", (unsigned long)needed);
    char directory[MAX_PATH];
    std::memset(directory, 'x', sizeof directory);
    DWORD length = GetCurrentDirectoryA(MAX_PATH, directory);
    ok(length + 1 == needed && std::strlen(directory) == length, "length %lu, needed %lu",
       (unsigned long)length, (unsigned long)needed);
    // Too small: the size needed, terminator included.
    char small[2] = {'x', 'x'};
    ok(GetCurrentDirectoryA(sizeof small, small) == needed, "a small buffer gave another size");

    char module[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, module, MAX_PATH);
    ok(n > 0 && n < MAX_PATH - 1, "module path length %lu", (unsigned long)n);
    ok(GetFileAttributesA(module) != INVALID_FILE_ATTRIBUTES, "the program's own file is missing");
    // A trailing space is dropped from the last element, as in "\Install_UvcCtrl.exe ".
    std::strcat(module, " ");
    ok(GetFileAttributesA(module) != INVALID_FILE_ATTRIBUTES, "with a trailing space: missing");
    SetLastError(0xdeadbeef);
    ok(GetFileAttributesA("C:\\Vexor2NoSuchDirectory\\Install_UvcCtrl.exe ") ==
           INVALID_FILE_ATTRIBUTES,
       "a missing file was found");
    DWORD error = GetLastError();
    ok(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND, "last error %lu",
       (unsigned long)error);
}
