// etLib2's public interface: opening the camera over the first transport that answers in the
// order 2, 1, 3, 4, closing it, and chip register requests under the library mutex that other
// processes share.
#include "chiplib/etlib2.h"

#include "chiplib/device_list.h"
#include "chiplib/etlib2_state.h"
#include "chiplib/extension_unit_installer.h"
#include "chiplib/hid_transport.h"

#include <memory>
#include <new>

EtLib2State gEtLib2 = {};

namespace {

const BYTE kProbeRegister = 0x0A;

typedef HRESULT (*ListFunction)(VideoDeviceList* list);
typedef HRESULT (*FindFunction)(const WCHAR* wanted, IBaseFilter** filter);

// Created (or opened, when another process made it) not owned; a failure shows up as a failed
// wait later.
void OpenLibraryMutex() {
    gEtLib2.libraryMutex = CreateMutexA(nullptr, FALSE, kLibraryMutexName);
}

void CloseLibraryMutex() {
    if (gEtLib2.libraryMutex)
        CloseHandle(gEtLib2.libraryMutex);
    gEtLib2.libraryMutex = nullptr;
}

// The list is too large for the stack of a window procedure; zeroed as the list expects. Null
// when memory is short: the transport then finds nothing.
std::unique_ptr<VideoDeviceList> NewDeviceList() {
    return std::unique_ptr<VideoDeviceList>(new (std::nothrow) VideoDeviceList());
}

bool OpenHidTransport() {
    USHORT featureReportLength = 0;
    HANDLE device = FindHidDevice(&featureReportLength);
    if (!device)
        return false;
    gEtLib2.link = TransportLink{TransportHid, device, featureReportLength};
    OpenLibraryMutex();
    return true;
}

bool OpenExtensionUnitTransport() {
    EnsureExtensionUnitControl();
    auto list = NewDeviceList();
    if (!list)
        return false;
    ListVideoInputDevices(list.get());
    for (SHORT i = 0; i < list->count; ++i) {
        IBaseFilter* filter = nullptr;
        FindVideoInputDevice(list->paths[i], &filter);
        if (!filter)
            continue;
        IExtensionUnitControl* unit = nullptr;
        if (CreateExtensionUnit(filter, &unit)) {
            gEtLib2.unitFilter = filter;
            gEtLib2.link = TransportLink{TransportExtensionUnit, unit};
            OpenLibraryMutex();
            return true;
        }
        filter->Release();
    }
    return false;
}

// Transports 3 and 4: the first listed device whose filter answers a read of register 0x0A.
// The probe runs under the library mutex, so it cannot land between another process's
// register select and read.
bool OpenKsTransport(BYTE transport, ListFunction listDevices, FindFunction findDevice) {
    auto list = NewDeviceList();
    if (!list)
        return false;
    listDevices(list.get());
    gEtLib2.link.transport = transport;
    for (SHORT i = 0; i < list->count; ++i) {
        findDevice(list->paths[i], &gEtLib2.workingFilter);
        if (!gEtLib2.workingFilter)
            continue;
        gEtLib2.workingFilter->QueryInterface(IID_IKsControl, &gEtLib2.link.object);
        gEtLib2.workingFilter->Release();
        gEtLib2.workingFilter = nullptr;
        if (!gEtLib2.link.object)
            continue;
        RegisterPacket probe = {kProbeRegister, 1, {0, 0, 0, 0}};
        if (!gEtLib2.libraryMutex)
            OpenLibraryMutex();
        // Another process that keeps the lock past the wait must not cost us a camera that
        // works: the probe is one read, and goes ahead unlocked as it always could.
        bool locked = LockLibrary();
        bool answered = RegisterRead(gEtLib2.link, &probe);
        if (locked)
            UnlockLibrary();
        if (answered)
            return true;
        static_cast<IKsControl*>(gEtLib2.link.object)->Release();
        gEtLib2.link.object = nullptr;
    }
    gEtLib2.link.transport = TransportNone;
    CloseLibraryMutex();
    return false;
}

void CloseTransport() {
    TransportLink& link = gEtLib2.link;
    if (link.object) {
        switch (link.transport) {
        case TransportExtensionUnit: {
            if (gEtLib2.unitFilter) {
                gEtLib2.unitFilter->Release();
                gEtLib2.unitFilter = nullptr;
            }
            auto* unit = static_cast<IExtensionUnitControl*>(link.object);
            unit->CloseUnit();
            unit->Release();
            break;
        }
        case TransportHid:
            CloseHandle(link.object);
            break;
        case TransportVideoInput:
        case TransportReceiver:
            static_cast<IKsControl*>(link.object)->Release();
            break;
        }
        CloseLibraryMutex();
        link = TransportLink{TransportNone, nullptr};
    }
    CoUninitialize();
}

int OpenTransport() {
    if (gEtLib2.link.transport != TransportNone)
        CloseTransport();
    CoInitialize(nullptr);
    if (OpenHidTransport() || OpenExtensionUnitTransport() ||
        OpenKsTransport(TransportVideoInput, ListVideoInputDevices, FindVideoInputDevice) ||
        OpenKsTransport(TransportReceiver, ListReceiverComponents, FindReceiverComponent))
        return 1;
    return 0;
}

DWORD Le32(const BYTE* data) {
    return DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 | DWORD(data[3]) << 24;
}

} // namespace

bool LockLibrary() {
    DWORD wait = WaitForSingleObject(gEtLib2.libraryMutex, kLibraryMutexWaitMs);
    // A process that died holding the lock handed it to us. Its request may have stopped half
    // way, but ours starts the device's exchange afresh; failing instead would drop a working
    // camera at attachment. The caller releases it after the request like any other hold.
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

void UnlockLibrary() {
    ReleaseMutex(gEtLib2.libraryMutex);
}

HRESULT LockedRegisterRead(RegisterPacket* packet) {
    if (!gEtLib2.open || !gEtLib2.link.object)
        return E_FAIL;
    if (!LockLibrary())
        return E_FAIL;
    bool read = RegisterRead(gEtLib2.link, packet);
    UnlockLibrary();
    return read ? S_OK : E_FAIL;
}

int etLib2_Init() {
    if (gEtLib2.open)
        CloseTransport();
    gEtLib2.open = OpenTransport();
    return gEtLib2.open;
}

void etLib2_Close() {
    if (!gEtLib2.open)
        return;
    CloseTransport();
    gEtLib2.open = 0;
}

bool etLib2_IsOpen() {
    return gEtLib2.open != 0;
}

HRESULT etLib2_RegRead(DWORD address, DWORD count, DWORD* result) {
    if (!result)
        return E_FAIL;
    RegisterPacket packet = {BYTE(address), BYTE(count), {0, 0, 0, 0}};
    HRESULT hr = LockedRegisterRead(&packet);
    if (FAILED(hr))
        return hr;
    // Some routes hand back the whole data word; the bytes past `count` belong to the
    // following registers, and a register 5 compared with 64 must be register 5 alone.
    DWORD value = Le32(packet.data);
    BYTE kept = BYTE(count);
    if (kept < 4)
        value &= (DWORD(1) << (8 * kept)) - 1;
    *result = value;
    return S_OK;
}

HRESULT etLib2_RegWrite(DWORD address, DWORD count, const DWORD* value) {
    if (!gEtLib2.open || !gEtLib2.link.object || !value)
        return E_FAIL;
    RegisterPacket packet = {
        BYTE(address),
        BYTE(count),
        {BYTE(*value), BYTE(*value >> 8), BYTE(*value >> 16), BYTE(*value >> 24)}};
    if (!LockLibrary())
        return E_FAIL;
    bool written = RegisterWrite(gEtLib2.link, &packet);
    UnlockLibrary();
    return written ? S_OK : E_FAIL;
}
