// Registry rules the settings store relies on: value sizes, error codes, short values, and a
// trailing backslash in a key path.
#include "ok.h"

#include "win32api.h"

#include <cstring>

static const char kKey[] = "Software\\Vexor2Conformance";

static HKEY CreateTestKey() {
    HKEY key = nullptr;
    DWORD disposition = 0;
    // The autostart key is opened with a trailing backslash; it names the same key.
    LSTATUS r =
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Vexor2Conformance\\", 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disposition);
    ok(r == ERROR_SUCCESS, "RegCreateKeyExA got %ld", (long)r);
    ok(disposition == REG_CREATED_NEW_KEY, "disposition %lu", (unsigned long)disposition);
    return key;
}

CONFORMANCE_TEST(registry_sizes_and_errors) {
    HKEY key = CreateTestKey();
    DWORD value = 0x11223344;
    LSTATUS r = RegSetValueExA(key, "dword", 0, REG_DWORD, (const BYTE*)&value, 4);
    ok(r == ERROR_SUCCESS, "RegSetValueExA got %ld", (long)r);
    BYTE one = 5;
    r = RegSetValueExA(key, "byte", 0, REG_BINARY, &one, 1);
    ok(r == ERROR_SUCCESS, "RegSetValueExA got %ld", (long)r);
    RegCloseKey(key);

    HKEY again = nullptr;
    r = RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, &again);
    ok(r == ERROR_SUCCESS, "RegOpenKeyExA without the backslash got %ld", (long)r);

    // Exact size: the value, its size and its type.
    DWORD got = 0, size = 4, type = 0;
    r = RegQueryValueExA(again, "dword", nullptr, &type, (BYTE*)&got, &size);
    ok(r == ERROR_SUCCESS && got == value && size == 4 && type == REG_DWORD,
       "got r=%ld value=%#lx size=%lu type=%lu", (long)r, (unsigned long)got, (unsigned long)size,
       (unsigned long)type);

    // Too small: ERROR_MORE_DATA and the needed size (the buffer itself is undefined).
    BYTE small = 0;
    size = 1;
    r = RegQueryValueExA(again, "dword", nullptr, nullptr, &small, &size);
    ok(r == ERROR_MORE_DATA && size == 4, "got r=%ld size=%lu", (long)r, (unsigned long)size);

    // Shorter than the buffer: only the first bytes are written; the type is not checked.
    BYTE canary[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    size = 4;
    r = RegQueryValueExA(again, "byte", nullptr, nullptr, canary, &size);
    ok(r == ERROR_SUCCESS && size == 1, "got r=%ld size=%lu", (long)r, (unsigned long)size);
    ok(canary[0] == 5 && canary[1] == 0xAA && canary[2] == 0xAA && canary[3] == 0xAA,
       "buffer %02x %02x %02x %02x", canary[0], canary[1], canary[2], canary[3]);

    // Missing value: ERROR_FILE_NOT_FOUND, buffer untouched.
    DWORD untouched = 0xdeadbeef;
    size = 4;
    r = RegQueryValueExA(again, "missing", nullptr, nullptr, (BYTE*)&untouched, &size);
    ok(r == ERROR_FILE_NOT_FOUND && untouched == 0xdeadbeef, "got r=%ld buffer=%#lx", (long)r,
       (unsigned long)untouched);

    // Size only.
    size = 0;
    r = RegQueryValueExA(again, "dword", nullptr, nullptr, nullptr, &size);
    ok(r == ERROR_SUCCESS && size == 4, "got r=%ld size=%lu", (long)r, (unsigned long)size);

    RegDeleteValueA(again, "dword");
    RegDeleteValueA(again, "byte");
    RegCloseKey(again);
    r = RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
    ok(r == ERROR_SUCCESS, "RegDeleteKeyA got %ld", (long)r);

    HKEY gone = nullptr;
    r = RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, &gone);
    ok(r == ERROR_FILE_NOT_FOUND, "opening a missing key got %ld", (long)r);
}

CONFORMANCE_TEST(registry_string_with_terminator) {
    HKEY key = CreateTestKey();
    const char path[] = "C:\\Program Files\\Vexor2\\Vexor2.exe";
    LSTATUS r = RegSetValueExA(key, "path", 0, REG_SZ, (const BYTE*)path, sizeof path);
    ok(r == ERROR_SUCCESS, "RegSetValueExA got %ld", (long)r);
    char back[64];
    DWORD size = sizeof back, type = 0;
    r = RegQueryValueExA(key, "path", nullptr, &type, (BYTE*)back, &size);
    ok(r == ERROR_SUCCESS && type == REG_SZ && size == sizeof path && !std::strcmp(back, path),
       "got r=%ld type=%lu size=%lu", (long)r, (unsigned long)type, (unsigned long)size);
    RegDeleteValueA(key, "path");
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
}

// A volatile key takes only volatile children, an existing key keeps the options it was made
// with, and a key opened for reading cannot be written through.
CONFORMANCE_TEST(registry_options_and_access) {
    const char volatileKey[] = "Software\\Vexor2ConformanceVolatile";
    HKEY key = nullptr, child = nullptr;
    DWORD disposition = 0;
    LSTATUS r = RegCreateKeyExA(HKEY_CURRENT_USER, volatileKey, 0, nullptr, REG_OPTION_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, &key, &disposition);
    ok(r == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY, "got %ld, disposition %lu",
       (long)r, (unsigned long)disposition);
    r = RegCreateKeyExA(key, "lasting", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &child, nullptr);
    ok(r == ERROR_CHILD_MUST_BE_VOLATILE, "a lasting child of a volatile key got %ld", (long)r);
    if (r == ERROR_SUCCESS)
        RegCloseKey(child), RegDeleteKeyA(key, "lasting");
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_CURRENT_USER, volatileKey);

    // Asking for a volatile key where a lasting one exists opens the lasting one.
    HKEY lasting = CreateTestKey();
    RegCloseKey(lasting);
    r = RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, &disposition);
    ok(r == ERROR_SUCCESS && disposition == REG_OPENED_EXISTING_KEY, "got %ld, disposition %lu",
       (long)r, (unsigned long)disposition);
    r = RegCreateKeyExA(key, "lasting", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &child, nullptr);
    ok(r == ERROR_SUCCESS, "a lasting child of the reopened key got %ld", (long)r);
    if (r == ERROR_SUCCESS)
        RegCloseKey(child), RegDeleteKeyA(key, "lasting");
    DWORD value = 7;
    RegSetValueExA(key, "v", 0, REG_DWORD, (const BYTE*)&value, sizeof value);
    RegCloseKey(key);

    HKEY readOnly = nullptr;
    r = RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ,
                        nullptr, &readOnly, nullptr);
    ok(r == ERROR_SUCCESS, "RegCreateKeyExA for reading got %ld", (long)r);
    r = RegSetValueExA(readOnly, "v", 0, REG_DWORD, (const BYTE*)&value, sizeof value);
    ok(r == ERROR_ACCESS_DENIED, "a write through a read-only key got %ld", (long)r);
    r = RegDeleteValueA(readOnly, "v");
    ok(r == ERROR_ACCESS_DENIED, "a delete through a read-only key got %ld", (long)r);
    DWORD back = 0, size = sizeof back;
    r = RegQueryValueExA(readOnly, "v", nullptr, nullptr, (BYTE*)&back, &size);
    ok(r == ERROR_SUCCESS && back == value, "read back %ld, value %lu", (long)r,
       (unsigned long)back);
    RegCloseKey(readOnly);

    RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, &key);
    RegDeleteValueA(key, "v");
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
}
