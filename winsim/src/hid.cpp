// winsim: hid.dll: the HID class GUID, preparsed data, attributes, capabilities and feature
// reports, answered from the interface behind the handle.
#include "devices_state.h"

#include <cstring>

using namespace winsim::detail;

namespace {

PreparsedData* FindPreparsed(PHIDP_PREPARSED_DATA data) {
    auto& all = Devices().preparsed;
    auto it = all.find(data);
    return it == all.end() ? nullptr : it->second.get();
}

// The interface behind a handle that can still answer a request; sets the last error if none.
HidEntry* LiveHid(HANDLE device) {
    HidEntry* hid = HidBehind(device);
    if (hid && !hid->present) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return nullptr;
    }
    return hid;
}

// The data bytes of a feature report the interface declares, or -1.
int FeatureReportSize(const winsim::HidInterface& declared, BYTE id) {
    for (auto& r : declared.featureReports)
        if (r.first == id)
            return r.second;
    return -1;
}

// HIDP_CAPS.FeatureReportByteLength: the longest feature report with its id byte.
USHORT FeatureReportByteLength(const winsim::HidInterface& declared) {
    USHORT longest = 0;
    for (auto& r : declared.featureReports)
        if (r.second > longest)
            longest = r.second;
    return USHORT(declared.featureReports.empty() ? 0 : longest + 1);
}

// The addressed report's size (its data bytes), or -1 with ERROR_INVALID_PARAMETER set when
// hidclass refuses the buffer: an undeclared report id, or a buffer shorter than the
// collection's longest feature report (Windows; Wine checks only the addressed report).
int CheckedFeatureReport(const winsim::HidInterface& declared, const BYTE* buffer, ULONG length) {
    int size = buffer && length ? FeatureReportSize(declared, buffer[0]) : -1;
    if (size < 0 || length < FeatureReportByteLength(declared)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    return size;
}

template <class Cap> bool Matches(const Cap& c, USAGE usagePage, USHORT link, USAGE usage) {
    if (usagePage && c.UsagePage != usagePage)
        return false;
    if (link && c.LinkCollection != link)
        return false;
    if (!usage)
        return true;
    return c.IsRange ? usage >= c.Range.UsageMin && usage <= c.Range.UsageMax
                     : usage == c.NotRange.Usage;
}

// HidP_GetSpecific*Caps: as many matches as fit, the count written back; the status says
// whether there were none or more than fitted.
template <class Cap>
NTSTATUS SpecificCaps(const std::vector<Cap>& all, USAGE usagePage, USHORT link, USAGE usage,
                      Cap* out, PUSHORT length) {
    USHORT room = *length, copied = 0;
    size_t matched = 0;
    for (const Cap& c : all) {
        if (!Matches(c, usagePage, link, usage))
            continue;
        ++matched;
        if (copied < room)
            out[copied++] = c;
    }
    *length = copied;
    if (matched == 0)
        return HIDP_STATUS_USAGE_NOT_FOUND;
    return matched > copied ? HIDP_STATUS_BUFFER_TOO_SMALL : HIDP_STATUS_SUCCESS;
}

} // namespace

void WINAPI HidD_GetHidGuid(LPGUID hidGuid) {
    Fails("HidD_GetHidGuid");
    *hidGuid = kHidInterfaceClass;
}

BOOLEAN WINAPI HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* preparsedData) {
    if (Fails("HidD_GetPreparsedData"))
        return FALSE;
    HidEntry* hid = LiveHid(device);
    if (!hid)
        return FALSE;
    if (hid->declared.preparsedFails) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    auto data = std::make_unique<PreparsedData>();
    data->hid = SharedHidBehind(device);
    auto key = reinterpret_cast<PHIDP_PREPARSED_DATA>(data.get());
    Devices().preparsed[key] = std::move(data);
    *preparsedData = key;
    return TRUE;
}

BOOLEAN WINAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsedData) {
    if (Fails("HidD_FreePreparsedData"))
        return FALSE;
    if (!Devices().preparsed.erase(preparsedData)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

BOOLEAN WINAPI HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) {
    if (Fails("HidD_GetAttributes"))
        return FALSE;
    HidEntry* hid = LiveHid(device);
    if (!hid)
        return FALSE;
    if (hid->declared.attributesFails) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    attributes->Size = sizeof(HIDD_ATTRIBUTES);
    attributes->VendorID = hid->declared.vendorId;
    attributes->ProductID = hid->declared.productId;
    attributes->VersionNumber = hid->declared.version;
    return TRUE;
}

NTSTATUS WINAPI HidP_GetCaps(PHIDP_PREPARSED_DATA preparsedData, PHIDP_CAPS capabilities) {
    if (Fails("HidP_GetCaps"))
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    PreparsedData* data = FindPreparsed(preparsedData);
    if (!data || !data->hid || data->hid->declared.capsFails)
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    const winsim::HidInterface& s = data->hid->declared;
    HIDP_CAPS c = {};
    c.Usage = s.usage;
    c.UsagePage = s.usagePage;
    c.FeatureReportByteLength = FeatureReportByteLength(s);
    c.NumberLinkCollectionNodes = 1;
    c.NumberInputButtonCaps = USHORT(s.buttonCaps[HidP_Input].size());
    c.NumberInputValueCaps = USHORT(s.valueCaps[HidP_Input].size());
    c.NumberOutputButtonCaps = USHORT(s.buttonCaps[HidP_Output].size());
    c.NumberOutputValueCaps = USHORT(s.valueCaps[HidP_Output].size());
    c.NumberFeatureButtonCaps = USHORT(s.buttonCaps[HidP_Feature].size());
    c.NumberFeatureValueCaps = USHORT(s.valueCaps[HidP_Feature].size());
    c.NumberInputDataIndices = USHORT(c.NumberInputButtonCaps + c.NumberInputValueCaps);
    c.NumberOutputDataIndices = USHORT(c.NumberOutputButtonCaps + c.NumberOutputValueCaps);
    c.NumberFeatureDataIndices = USHORT(c.NumberFeatureButtonCaps + c.NumberFeatureValueCaps);
    *capabilities = c;
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS WINAPI HidP_GetSpecificButtonCaps(HIDP_REPORT_TYPE reportType, USAGE usagePage,
                                           USHORT linkCollection, USAGE usage,
                                           PHIDP_BUTTON_CAPS buttonCaps, PUSHORT buttonCapsLength,
                                           PHIDP_PREPARSED_DATA preparsedData) {
    if (Fails("HidP_GetSpecificButtonCaps"))
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    if (reportType > HidP_Feature)
        return HIDP_STATUS_INVALID_REPORT_TYPE;
    PreparsedData* data = FindPreparsed(preparsedData);
    if (!data || !data->hid)
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    return SpecificCaps(data->hid->declared.buttonCaps[reportType], usagePage, linkCollection,
                        usage, buttonCaps, buttonCapsLength);
}

NTSTATUS WINAPI HidP_GetSpecificValueCaps(HIDP_REPORT_TYPE reportType, USAGE usagePage,
                                          USHORT linkCollection, USAGE usage,
                                          PHIDP_VALUE_CAPS valueCaps, PUSHORT valueCapsLength,
                                          PHIDP_PREPARSED_DATA preparsedData) {
    if (Fails("HidP_GetSpecificValueCaps"))
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    if (reportType > HidP_Feature)
        return HIDP_STATUS_INVALID_REPORT_TYPE;
    PreparsedData* data = FindPreparsed(preparsedData);
    if (!data || !data->hid)
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    return SpecificCaps(data->hid->declared.valueCaps[reportType], usagePage, linkCollection, usage,
                        valueCaps, valueCapsLength);
}

// The buffer must be at least the collection's FeatureReportByteLength, whichever report it
// carries; the device sees the addressed report alone, its id and declared data bytes.
BOOLEAN WINAPI HidD_SetFeature(HANDLE device, PVOID reportBuffer, ULONG reportBufferLength) {
    if (Fails("HidD_SetFeature"))
        return FALSE;
    HidEntry* hid = LiveHid(device);
    if (!hid)
        return FALSE;
    const BYTE* buffer = static_cast<const BYTE*>(reportBuffer);
    int size = CheckedFeatureReport(hid->declared, buffer, reportBufferLength);
    if (size < 0)
        return FALSE;
    if (!hid->declared.setFeature || !hid->declared.setFeature(buffer, ULONG(size) + 1)) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    return TRUE;
}

BOOLEAN WINAPI HidD_GetFeature(HANDLE device, PVOID reportBuffer, ULONG reportBufferLength) {
    if (Fails("HidD_GetFeature"))
        return FALSE;
    HidEntry* hid = LiveHid(device);
    if (!hid)
        return FALSE;
    BYTE* buffer = static_cast<BYTE*>(reportBuffer);
    int size = CheckedFeatureReport(hid->declared, buffer, reportBufferLength);
    if (size < 0)
        return FALSE;
    // The driver's own copy of the report, on the stack for the usual sizes so that the
    // simulation allocates nothing on a poll.
    const size_t length = size_t(size) + 1;
    BYTE small[256];
    std::vector<BYTE> large;
    BYTE* report = small;
    if (length > sizeof small) {
        large.resize(length);
        report = large.data();
    }
    std::memcpy(report, buffer, length);
    if (!hid->declared.getFeature || !hid->declared.getFeature(report, ULONG(length))) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    std::memcpy(buffer, report, length);
    return TRUE;
}
