// winsim: the operating system's version, the process token, the current directory and a file
// system of names, ShellExecuteExA, and waits on mutexes; with the control API through which
// tests set the machine up and another process takes, releases or abandons a mutex.
#pragma once

#include "winsim/win32.h"

#include <functional>
#include <string>
#include <vector>

#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};
typedef OSVERSIONINFOA* LPOSVERSIONINFOA;
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes, as on Windows");
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info);

#define TOKEN_QUERY 0x0008
enum TOKEN_INFORMATION_CLASS { TokenElevationType = 18, TokenElevation = 20 };
enum TOKEN_ELEVATION_TYPE {
    TokenElevationTypeDefault = 1,
    TokenElevationTypeFull,
    TokenElevationTypeLimited
};
struct TOKEN_ELEVATION {
    DWORD TokenIsElevated;
};
typedef HANDLE* PHANDLE;
HANDLE WINAPI GetCurrentProcess();
BOOL WINAPI OpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                                DWORD length, LPDWORD returnLength);

#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
DWORD WINAPI GetCurrentDirectoryA(DWORD length, LPSTR buffer);
DWORD WINAPI GetFileAttributesA(LPCSTR fileName);

#define ERROR_CANCELLED 1223L
struct SHELLEXECUTEINFOA {
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    LPCSTR lpVerb;
    LPCSTR lpFile;
    LPCSTR lpParameters;
    LPCSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void* lpIDList;
    LPCSTR lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    HANDLE hIcon;
    HANDLE hProcess;
};
typedef SHELLEXECUTEINFOA* LPSHELLEXECUTEINFOA;
BOOL WINAPI ShellExecuteExA(LPSHELLEXECUTEINFOA info);

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#define ERROR_NOT_OWNER 288L
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL WINAPI ReleaseMutex(HANDLE mutex);

namespace winsim {

// What GetVersionExA reports (default: Windows 7, NT platform).
void SetWindowsVersion(DWORD major, DWORD minor, DWORD build,
                       DWORD platform = VER_PLATFORM_WIN32_NT);
// The process token's elevation facts (default: a limited token of an administrator, not
// elevated). Before Vista neither class exists and GetTokenInformation fails.
void SetProcessElevation(DWORD elevationType, bool elevated);
// The process's current directory (default "C:\Program Files\Vexor2").
void SetProcessDirectory(const std::string& path);
// Files that GetFileAttributesA finds, by full path, case-insensitively.
void AddFile(const std::string& path);
void RemoveFile(const std::string& path);

struct ShellExecution {
    DWORD cbSize;
    ULONG mask;
    HWND hwnd;
    std::string verb, file, parameters, directory; // "(null)" for a null pointer
    int show;
    uint64_t time;
    bool accepted;
};
const std::vector<ShellExecution>& ShellExecutions();
// Whether the user accepts the following elevation prompts ("runas"); refused ones fail with
// ERROR_CANCELLED. An accepted execution runs `started` (the started program's effect).
void ScriptElevation(bool accept, std::function<void(const ShellExecution&)> started = nullptr);

// Another process and a named mutex. Holding it makes this process's waits block (in virtual
// time) until the other releases or abandons it, or the wait times out. While this process owns
// it, the other cannot take it: it waits (false is returned) and gets it at the last ReleaseMutex.
bool OtherProcessTakesMutex(const std::string& name);
void OtherProcessReleasesMutex(const std::string& name);
// The other process ends while holding it: the next wait gets WAIT_ABANDONED and ownership.
void OtherProcessAbandonsMutex(const std::string& name);
// How often this process owns the named mutex now (recursive acquisitions counted).
int MutexOwnedByProgram(const std::string& name);

struct MutexWait {
    std::string name;
    DWORD timeout;
    DWORD result;
    uint64_t start, end; // virtual time
};
const std::vector<MutexWait>& MutexWaits();

} // namespace winsim
