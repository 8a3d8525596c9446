// Device, heap and COM behaviour the register library relies on where no camera is needed: HID
// interface enumeration ending with ERROR_NO_MORE_ITEMS, missing device paths, the heap's
// zero-filled growth, and COM's apartment and class errors.
#include "ok.h"

#include "win32api.h"

#include <cstring>

CONFORMANCE_TEST(hid_class_guid) {
    GUID hid;
    std::memset(&hid, 0xCC, sizeof hid);
    HidD_GetHidGuid(&hid);
    const GUID expected = {
        0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
    ok(std::memcmp(&hid, &expected, sizeof hid) == 0, "HID class %08lx-%04x-%04x",
       (unsigned long)hid.Data1, hid.Data2, hid.Data3);
}

CONFORMANCE_TEST(interface_enumeration_of_an_empty_class) {
    // A class no device has: the set exists and its first member is the end of the list.
    const GUID nobody = {
        0x5E7A1C2B, 0x0C5A, 0x4E7D, {0x9A, 0x10, 0x56, 0x0E, 0x77, 0x21, 0x3B, 0x01}};
    HDEVINFO set =
        SetupDiGetClassDevsA(&nobody, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ok(set != INVALID_HANDLE_VALUE, "SetupDiGetClassDevsA failed with %lu",
       (unsigned long)GetLastError());
    SP_DEVICE_INTERFACE_DATA member;
    std::memset(&member, 0, sizeof member);
    member.cbSize = sizeof member;
    SetLastError(0xdeadbeef);
    BOOL got = SetupDiEnumDeviceInterfaces(set, nullptr, &nobody, 0, &member);
    ok(!got, "an empty class listed a member");
    ok(GetLastError() == ERROR_NO_MORE_ITEMS, "last error %lu", (unsigned long)GetLastError());
    ok(SetupDiDestroyDeviceInfoList(set), "SetupDiDestroyDeviceInfoList failed with %lu",
       (unsigned long)GetLastError());
}

// The HID search asks for present interfaces only; without DIGCF_PRESENT the set also holds the
// devices that are known but unplugged, so it is never the smaller one.
static DWORD HidInterfaceCount(DWORD flags) {
    GUID hid;
    HidD_GetHidGuid(&hid);
    HDEVINFO set = SetupDiGetClassDevsA(&hid, nullptr, nullptr, flags);
    ok(set != INVALID_HANDLE_VALUE, "flags %#lx: SetupDiGetClassDevsA failed with %lu",
       (unsigned long)flags, (unsigned long)GetLastError());
    if (set == INVALID_HANDLE_VALUE)
        return 0;
    DWORD n = 0;
    SP_DEVICE_INTERFACE_DATA member;
    for (;; ++n) {
        std::memset(&member, 0, sizeof member);
        member.cbSize = sizeof member;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &hid, n, &member))
            break;
    }
    ok(GetLastError() == ERROR_NO_MORE_ITEMS, "flags %#lx: the walk ended with %lu",
       (unsigned long)flags, (unsigned long)GetLastError());
    SetupDiDestroyDeviceInfoList(set);
    return n;
}

CONFORMANCE_TEST(hid_interfaces_present_and_known) {
    DWORD present = HidInterfaceCount(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    DWORD known = HidInterfaceCount(DIGCF_DEVICEINTERFACE);
    ok(known >= present, "%lu known interfaces, %lu present", (unsigned long)known,
       (unsigned long)present);
}

CONFORMANCE_TEST(opening_a_missing_device) {
    const char* paths[] = {
        "\\\\.\\Vexor2NoSuchDevice",
        "\\\\?\\hid#vid_0000&pid_0000#0&00000000&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}"};
    for (const char* path : paths) {
        SetLastError(0xdeadbeef);
        HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               0, nullptr);
        ok(h == INVALID_HANDLE_VALUE, "%s opened", path);
        ok(GetLastError() == ERROR_FILE_NOT_FOUND, "%s: last error %lu", path,
           (unsigned long)GetLastError());
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
}

CONFORMANCE_TEST(heap_growth_is_zero_filled) {
    // The HID search grows its record array with HeapReAlloc and relies on zeroed new records.
    BYTE* block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 16));
    ok(block != nullptr, "HeapAlloc failed");
    if (!block)
        return;
    bool zero = true;
    for (int i = 0; i < 16; ++i)
        zero = zero && block[i] == 0;
    ok(zero, "HEAP_ZERO_MEMORY left data");
    std::memset(block, 0x5A, 16);
    BYTE* grown = static_cast<BYTE*>(HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block, 64));
    ok(grown != nullptr, "HeapReAlloc failed");
    if (!grown) {
        HeapFree(GetProcessHeap(), 0, block);
        return;
    }
    bool kept = true, zeroed = true;
    for (int i = 0; i < 16; ++i)
        kept = kept && grown[i] == 0x5A;
    for (int i = 16; i < 64; ++i)
        zeroed = zeroed && grown[i] == 0;
    ok(kept, "the old contents moved wrongly");
    ok(zeroed, "the grown part is not zero");
    ok(HeapFree(GetProcessHeap(), 0, grown), "HeapFree failed");
    // A zero-byte block is still a block.
    void* empty = HeapAlloc(GetProcessHeap(), 0, 0);
    ok(empty != nullptr, "HeapAlloc of 0 bytes failed");
    ok(HeapFree(GetProcessHeap(), 0, empty), "HeapFree of the 0-byte block failed");
}

CONFORMANCE_TEST(com_apartment_and_unknown_classes) {
    // The extension-unit server's class: not registered on a machine without the camera's
    // software.
    const CLSID server = {
        0xA0432DA0, 0xA887, 0x45F8, {0xB2, 0x8B, 0x66, 0x93, 0xC6, 0xB9, 0xE6, 0x19}};
    void* object = reinterpret_cast<void*>(1);
    HRESULT hr = CoCreateInstance(server, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                  IID_IUnknown, &object);
    ok(hr == CO_E_NOTINITIALIZED, "before CoInitialize: %08lx", (unsigned long)hr);
    ok(object == nullptr, "the out pointer was left at %p", object);

    hr = CoInitialize(nullptr);
    ok(hr == S_OK, "first CoInitialize: %08lx", (unsigned long)hr);
    hr = CoInitialize(nullptr);
    ok(hr == S_FALSE, "second CoInitialize: %08lx", (unsigned long)hr);
    object = reinterpret_cast<void*>(1);
    hr = CoCreateInstance(server, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                          IID_IUnknown, &object);
    ok(hr == REGDB_E_CLASSNOTREG, "unregistered class: %08lx", (unsigned long)hr);
    ok(object == nullptr, "the out pointer was left at %p", object);
    CoUninitialize();
    CoUninitialize();
}
