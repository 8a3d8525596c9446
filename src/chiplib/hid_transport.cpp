// HID transport. The camera's HID interface is known by its report layout alone: feature value
// items in reports 0x87 and 0x93. The search reads every HID interface's capabilities through a
// query-only handle, keeps nothing but a fresh read/write handle of the one it picks, and skips
// interfaces it cannot read rather than giving up on the camera.
#include "chiplib/hid_transport.h"

#include <cstring>

namespace {

const DWORD kFirstCapacity = 8;
// A member index that keeps failing for another reason than the end of the list is skipped;
// this many in a row end the walk, so a broken SetupAPI cannot keep it going for ever.
const DWORD kEnumerationFailuresTolerated = 16;
const HIDP_REPORT_TYPE kReportTypes[3] = {HidP_Input, HidP_Output, HidP_Feature};

// The 32-bit layouts the SetupAPI and HID calls rely on.
static_assert(sizeof(void*) != 4 || sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5,
              "SetupAPI packs the detail record to 5 bytes on 32-bit Windows");
static_assert(sizeof(HIDP_CAPS) == 64 && sizeof(HIDP_VALUE_CAPS) == 72 &&
                  sizeof(HIDP_BUTTON_CAPS) == 72,
              "HID parser records have the SDK's sizes");

void* Allocate(SIZE_T bytes) {
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}
void Free(void* block) {
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}

bool IsOpen(HANDLE h) {
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

// Whether the record declares feature value items in both of the camera's reports.
bool IsCameraInterface(const HidDeviceInfo& record) {
    const HIDP_VALUE_CAPS* values = record.valueCaps[HidP_Feature];
    if (!values)
        return false;
    bool command = false, data = false;
    for (USHORT i = 0; i < record.capabilities.NumberFeatureValueCaps; ++i) {
        command = command || values[i].ReportID == kCommandReportId;
        data = data || values[i].ReportID == kDataReportId;
    }
    return command && data;
}

// Reads member `index` of the set into `record`. Ok and Skipped leave the walk going; Failed
// (no memory) ends the search.
HidSearch ReadMember(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* member, HidDeviceInfo* record) {
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(set, member, nullptr, 0, &required, nullptr);
    if (required == 0)
        return HidSearch::Skipped; // gone between the listing and the question
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        required = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(Allocate(required));
    if (!detail)
        return HidSearch::Failed;
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    HidSearch result = HidSearch::Skipped;
    if (SetupDiGetDeviceInterfaceDetailA(set, member, detail, required, nullptr, nullptr)) {
        // The path is terminated within the size SetupAPI asked for; make sure of it.
        reinterpret_cast<char*>(detail)[required - 1] = '\0';
        result = OpenHidDeviceInfo(detail->DevicePath, record);
    }
    Free(detail);
    return result;
}

} // namespace

bool EnumerateHidDevices(HidDeviceInfo** records, DWORD* count) {
    *records = nullptr;
    *count = 0;
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    HDEVINFO set =
        SetupDiGetClassDevsA(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return false;

    DWORD capacity = kFirstCapacity;
    auto* list = static_cast<HidDeviceInfo*>(Allocate(capacity * sizeof(HidDeviceInfo)));
    bool ok = list != nullptr;
    DWORD i = 0, failuresInARow = 0;
    while (ok) {
        if (i == capacity) {
            void* grown = HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, list,
                                      2 * capacity * sizeof(HidDeviceInfo));
            if (!grown) {
                ok = false;
                break;
            }
            list = static_cast<HidDeviceInfo*>(grown);
            capacity *= 2;
        }
        SP_DEVICE_INTERFACE_DATA member = {};
        member.cbSize = sizeof member;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &hidClass, i, &member)) {
            if (GetLastError() == ERROR_NO_MORE_ITEMS ||
                ++failuresInARow == kEnumerationFailuresTolerated)
                break;
            ++i; // record i stays empty
            continue;
        }
        failuresInARow = 0;
        if (ReadMember(set, &member, &list[i]) == HidSearch::Failed)
            ok = false;
        else
            ++i;
    }
    SetupDiDestroyDeviceInfoList(set);
    if (!ok) {
        // A member that failed half-way has already been released and left empty.
        if (list)
            ReleaseHidDevices(list, i);
        return false;
    }
    *records = list;
    *count = i;
    return true;
}

void ReleaseHidDevices(HidDeviceInfo* records, DWORD count) {
    for (DWORD i = 0; i < count; ++i)
        CloseHidDeviceInfo(&records[i]);
    Free(records);
}

HidSearch OpenHidDeviceInfo(const char* path, HidDeviceInfo* record) {
    std::memset(record, 0, sizeof *record);
    record->handle = INVALID_HANDLE_VALUE;
    size_t length = std::strlen(path);
    record->devicePath = static_cast<char*>(Allocate(length + 1));
    if (!record->devicePath)
        return HidSearch::Failed;
    std::memcpy(record->devicePath, path, length + 1);

    // Query-only and shared: keyboards and mice refuse any other open, and others may be using
    // the camera.
    record->handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    HidSearch result = HidSearch::Skipped;
    if (IsOpen(record->handle) && HidD_GetPreparsedData(record->handle, &record->preparsedData)) {
        record->attributes.Size = sizeof record->attributes;
        if (HidD_GetAttributes(record->handle, &record->attributes) &&
            HidP_GetCaps(record->preparsedData, &record->capabilities) == HIDP_STATUS_SUCCESS)
            result = ReadHidCapabilities(record) ? HidSearch::Ok : HidSearch::Failed;
    }
    if (result != HidSearch::Ok) {
        // An interface we could not read is left as an empty record.
        CloseHidDeviceInfo(record);
        std::memset(record, 0, sizeof *record);
    }
    return result;
}

bool ReadHidCapabilities(HidDeviceInfo* record) {
    const HIDP_CAPS& caps = record->capabilities;
    const USHORT buttons[3] = {caps.NumberInputButtonCaps, caps.NumberOutputButtonCaps,
                               caps.NumberFeatureButtonCaps};
    const USHORT values[3] = {caps.NumberInputValueCaps, caps.NumberOutputValueCaps,
                              caps.NumberFeatureValueCaps};
    for (int t = 0; t < 3; ++t) {
        record->buttonCaps[t] =
            static_cast<HIDP_BUTTON_CAPS*>(Allocate(buttons[t] * sizeof(HIDP_BUTTON_CAPS)));
        record->valueCaps[t] =
            static_cast<HIDP_VALUE_CAPS*>(Allocate(values[t] * sizeof(HIDP_VALUE_CAPS)));
        if (!record->buttonCaps[t] || !record->valueCaps[t])
            return false;
        // Usage page, link collection and usage 0: every item. A short answer leaves the rest
        // of the array zero, which matches no report.
        USHORT n = buttons[t];
        HidP_GetSpecificButtonCaps(kReportTypes[t], 0, 0, 0, record->buttonCaps[t], &n,
                                   record->preparsedData);
        n = values[t];
        HidP_GetSpecificValueCaps(kReportTypes[t], 0, 0, 0, record->valueCaps[t], &n,
                                  record->preparsedData);
    }
    return true;
}

void CloseHidDeviceInfo(HidDeviceInfo* record) {
    Free(record->devicePath);
    record->devicePath = nullptr;
    // An empty record's handle is 0, not a handle of ours.
    if (IsOpen(record->handle))
        CloseHandle(record->handle);
    record->handle = INVALID_HANDLE_VALUE;
    if (record->preparsedData) {
        HidD_FreePreparsedData(record->preparsedData);
        record->preparsedData = nullptr;
    }
    for (int t = 0; t < 3; ++t) {
        Free(record->buttonCaps[t]);
        record->buttonCaps[t] = nullptr;
        Free(record->valueCaps[t]);
        record->valueCaps[t] = nullptr;
    }
}

HANDLE FindHidDevice(USHORT* featureReportLength) {
    HidDeviceInfo* records;
    DWORD count;
    if (!EnumerateHidDevices(&records, &count))
        return nullptr;
    HANDLE device = nullptr;
    for (DWORD i = 0; i < count; ++i) {
        if (!IsCameraInterface(records[i]))
            continue;
        HANDLE h =
            CreateFileA(records[i].devicePath, GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (IsOpen(h)) {
            device = h;
            if (featureReportLength)
                *featureReportLength = records[i].capabilities.FeatureReportByteLength;
        }
        break; // the first camera interface decides, whether it opens or not
    }
    ReleaseHidDevices(records, count);
    return device;
}

namespace {

// How many bytes of the report buffer a report of n data bytes is passed in, or 0 when it
// cannot be carried. hidclass rejects a buffer shorter than the collection's longest feature
// report (ERROR_INVALID_PARAMETER), so a 4-byte command goes out in the data report's length.
DWORD ReportBufferLength(USHORT reportLength, DWORD n) {
    if (n > kFeatureReportData || reportLength > 1 + kFeatureReportData)
        return 0;
    return n + 1 > reportLength ? n + 1 : reportLength;
}

} // namespace

bool SetFeatureReport(HANDLE device, USHORT reportLength, BYTE reportId, const BYTE* data,
                      DWORD n) {
    DWORD length = ReportBufferLength(reportLength, n);
    if (!length)
        return false;
    BYTE buffer[1 + kFeatureReportData] = {};
    buffer[0] = reportId;
    std::memcpy(buffer + 1, data, n);
    return HidD_SetFeature(device, buffer, length) != FALSE;
}

bool GetFeatureReport(HANDLE device, USHORT reportLength, BYTE reportId, BYTE* destination,
                      DWORD n) {
    DWORD length = ReportBufferLength(reportLength, n);
    if (!length)
        return false;
    BYTE buffer[1 + kFeatureReportData] = {};
    buffer[0] = reportId;
    if (!HidD_GetFeature(device, buffer, length))
        return false;
    std::memcpy(destination, buffer + 1, n);
    return true;
}
