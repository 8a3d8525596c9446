// winsim: setupapi.dll's device-interface enumeration. A set is a snapshot of the interfaces of
// one class present when it was taken; only the HID class has members.
#include "devices_state.h"

#include <cstddef>
#include <cstring>

using namespace winsim::detail;

namespace {

DeviceInfoSet* FindSet(HDEVINFO set) {
    auto& sets = Devices().sets;
    auto it = sets.find(reinterpret_cast<uintptr_t>(set));
    if (it == sets.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &it->second;
}

} // namespace

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, PCSTR, HWND, DWORD flags) {
    if (Fails("SetupDiGetClassDevsA"))
        return INVALID_HANDLE_VALUE;
    if (!classGuid && !(flags & DIGCF_ALLCLASSES)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    DeviceState& d = Devices();
    d.classDevsFlags.push_back(flags);
    DeviceInfoSet set = {};
    if (classGuid)
        set.interfaceClass = *classGuid;
    if ((flags & DIGCF_DEVICEINTERFACE) && classGuid && *classGuid == kHidInterfaceClass) {
        set.members = d.hid;
        // Without DIGCF_PRESENT the set also holds the devices that were unplugged.
        if (!(flags & DIGCF_PRESENT))
            set.members.insert(set.members.end(), d.hidGone.begin(), d.hidGone.end());
    }
    uintptr_t h = d.nextSet;
    d.nextSet += 8;
    d.sets[h] = set;
    return reinterpret_cast<HDEVINFO>(h);
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA,
                                        const GUID* interfaceClassGuid, DWORD memberIndex,
                                        PSP_DEVICE_INTERFACE_DATA interfaceData) {
    if (Fails("SetupDiEnumDeviceInterfaces"))
        return FALSE;
    DeviceInfoSet* s = FindSet(set);
    if (!s)
        return FALSE;
    if (!interfaceData || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (!interfaceClassGuid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (*interfaceClassGuid != s->interfaceClass || memberIndex >= s->members.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    interfaceData->InterfaceClassGuid = *interfaceClassGuid;
    interfaceData->Flags = SPINT_ACTIVE;
    interfaceData->Reserved = memberIndex + 1;
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                             DWORD detailSize, PDWORD requiredSize,
                                             PSP_DEVINFO_DATA) {
    if (Fails("SetupDiGetDeviceInterfaceDetailA"))
        return FALSE;
    DeviceInfoSet* s = FindSet(set);
    if (!s)
        return FALSE;
    if (!interfaceData || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
        interfaceData->Reserved == 0 || interfaceData->Reserved > s->members.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string& path = s->members[interfaceData->Reserved - 1]->declared.path;
    const size_t pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    DWORD needed = DWORD(pathOffset + path.size() + 1);
    if (requiredSize)
        *requiredSize = needed;
    if (!detail) {
        SetLastError(detailSize ? ERROR_INVALID_USER_BUFFER : ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (detailSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(reinterpret_cast<char*>(detail) + pathOffset, path.c_str(), path.size() + 1);
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    if (Fails("SetupDiDestroyDeviceInfoList"))
        return FALSE;
    if (!FindSet(set))
        return FALSE;
    Devices().sets.erase(reinterpret_cast<uintptr_t>(set));
    return TRUE;
}
