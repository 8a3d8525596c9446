// winsim: devices opened by name rather than found by enumeration: serial ports with their
// settings and writes, control devices with their I/O controls; and winmm's timer resolution.
#include "devices_state.h"

using namespace winsim::detail;

namespace {

// The named device behind a handle, or nullptr with ERROR_INVALID_HANDLE.
winsim::NamedDevice* NamedBehind(HANDLE handle) {
    Machine& m = M();
    auto it = m.handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == m.handles.end() || !it->second.device || !it->second.device->named) {
        m.lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    return it->second.device->named;
}

winsim::NamedDevice* SerialBehind(HANDLE handle) {
    winsim::NamedDevice* d = NamedBehind(handle);
    if (d && !d->serial) {
        M().lastError = ERROR_INVALID_FUNCTION;
        return nullptr;
    }
    return d;
}

} // namespace

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                      LPOVERLAPPED) {
    if (bytesWritten)
        *bytesWritten = 0;
    if (Fails("WriteFile"))
        return FALSE;
    winsim::NamedDevice* d = NamedBehind(file);
    if (!d)
        return FALSE;
    if (d->writeStallMs) {
        // Nothing leaves the port: the write waits out its timeout and sends nothing.
        Sleep(DWORD(d->writeStallMs));
        return TRUE;
    }
    const char* bytes = static_cast<const char*>(buffer);
    ++d->writeCount;
    if (d->recordWrites)
        d->writes.emplace_back(bytes, bytes + bytesToWrite);
    if (bytesWritten)
        *bytesWritten = bytesToWrite;
    return TRUE;
}

BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID inBuffer, DWORD inSize, LPVOID, DWORD,
                            LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
    if (bytesReturned)
        *bytesReturned = 0;
    if (Fails("DeviceIoControl"))
        return FALSE;
    // A synchronous request needs somewhere to put its byte count.
    if (!overlapped && !bytesReturned) {
        M().lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    winsim::NamedDevice* d = NamedBehind(device);
    if (!d)
        return FALSE;
    if (!d->controlInputBytes.empty()) {
        auto known = d->controlInputBytes.find(code);
        if (known == d->controlInputBytes.end()) {
            M().lastError = ERROR_INVALID_FUNCTION;
            return FALSE;
        }
        if (!inBuffer || inSize != known->second) {
            M().lastError = ERROR_INVALID_PARAMETER;
            return FALSE;
        }
    }
    const BYTE* in = static_cast<const BYTE*>(inBuffer);
    d->ioctls.push_back({code, std::vector<BYTE>(in, in + (in ? inSize : 0)), M().now});
    return TRUE;
}

BOOL WINAPI SetCommState(HANDLE file, DCB* dcb) {
    if (Fails("SetCommState"))
        return FALSE;
    winsim::NamedDevice* d = SerialBehind(file);
    if (!d || !dcb || dcb->DCBlength != sizeof(DCB)) {
        M().lastError = d ? DWORD(ERROR_INVALID_PARAMETER) : M().lastError;
        return FALSE;
    }
    d->dcb = *dcb;
    d->stateSet = true;
    return TRUE;
}

BOOL WINAPI SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
    if (Fails("SetCommTimeouts"))
        return FALSE;
    winsim::NamedDevice* d = SerialBehind(file);
    if (!d || !timeouts)
        return FALSE;
    d->timeouts = *timeouts;
    d->timeoutsSet = true;
    return TRUE;
}

BOOL WINAPI SetCommMask(HANDLE file, DWORD mask) {
    if (Fails("SetCommMask"))
        return FALSE;
    winsim::NamedDevice* d = SerialBehind(file);
    if (!d)
        return FALSE;
    d->commMask = mask;
    d->maskSet = true;
    return TRUE;
}

MMRESULT WINAPI timeBeginPeriod(UINT period) {
    if (Fails("timeBeginPeriod") || period == 0)
        return TIMERR_NOCANDO;
    Devices().timerPeriodDepth++;
    return TIMERR_NOERROR;
}

MMRESULT WINAPI timeEndPeriod(UINT period) {
    if (Fails("timeEndPeriod") || period == 0 || Devices().timerPeriodDepth == 0)
        return TIMERR_NOCANDO;
    Devices().timerPeriodDepth--;
    return TIMERR_NOERROR;
}

namespace winsim {

std::string NamedDevice::Written() const {
    std::string all;
    for (const std::string& w : writes)
        all += w;
    return all;
}

NamedDevice* AddNamedDevice(const std::string& path, bool serial) {
    auto device = std::make_unique<NamedDevice>();
    device->path = path;
    device->serial = serial;
    Devices().named.push_back(std::move(device));
    return Devices().named.back().get();
}

NamedDevice* AddPpjoyDevice() {
    // Set state: CTL_CODE(FILE_DEVICE_UNKNOWN, 0, METHOD_BUFFERED, FILE_ANY_ACCESS), taking the
    // joystick record: signature, axis count, eight 32-bit axes, button count, sixteen buttons.
    const DWORD setState = 0x00220000, recordBytes = 4 + 1 + 8 * 4 + 1 + 16;
    NamedDevice* d = AddNamedDevice("\\\\.\\PPJoyIOCTL1", false);
    d->controlInputBytes[setState] = recordBytes;
    return d;
}

NamedDevice* FindNamedDevice(const std::string& path) {
    for (auto& d : Devices().named)
        if (Lower(d->path) == Lower(path))
            return d.get();
    return nullptr;
}

int TimerPeriodDepth() {
    return Devices().timerPeriodDepth;
}

} // namespace winsim
