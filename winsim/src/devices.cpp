// winsim: the machine's devices: HID interfaces as tests plug them in, CreateFileA on their paths,
// and the counts tests check at the end.
#include "devices_state.h"

#include <cstdio>
#include <cstdlib>

namespace winsim::detail {

const GUID kHidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

DeviceState& Devices() {
    Machine& m = M();
    if (!m.devices)
        m.devices = std::make_shared<DeviceState>();
    return *m.devices;
}

DeviceState::~DeviceState() {
    for (auto& block : heapBlocks)
        std::free(block.first);
    // Strings a failed test left allocated; each block starts at its length prefix.
    for (const void* s : bstrs)
        std::free(const_cast<BYTE*>(static_cast<const BYTE*>(s)) - sizeof(DWORD));
}

std::shared_ptr<HidEntry> SharedHidBehind(HANDLE handle) {
    Machine& m = M();
    auto it = m.handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == m.handles.end() || it->second.kind != KernelObject::Device || !it->second.device ||
        !it->second.device->hid) {
        m.lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    return it->second.device->hid;
}

HidEntry* HidBehind(HANDLE handle) {
    return SharedHidBehind(handle).get(); // the handle keeps the interface alive
}

} // namespace winsim::detail

using namespace winsim::detail;

namespace winsim {

void AddHidInterface(const HidInterface& hid) {
    // A device plugged in again is the one SetupAPI knew, present once more.
    auto& gone = Devices().hidGone;
    for (auto it = gone.begin(); it != gone.end();)
        it = Lower((*it)->declared.path) == Lower(hid.path) ? gone.erase(it) : it + 1;
    auto entry = std::make_shared<HidEntry>();
    entry->declared = hid;
    Devices().hid.push_back(entry);
    Devices().hidByPath[Lower(hid.path)] = entry;
}

void RemoveHidInterface(const std::string& path) {
    auto& list = Devices().hid;
    for (auto it = list.begin(); it != list.end(); ++it)
        if (Lower((*it)->declared.path) == Lower(path)) {
            (*it)->present = false;
            Devices().hidGone.push_back(*it);
            list.erase(it);
            // Another interface declared with the same path becomes the one opened.
            auto& byPath = Devices().hidByPath;
            byPath.erase(Lower(path));
            for (auto& h : list)
                if (Lower(h->declared.path) == Lower(path))
                    byPath[Lower(path)] = h;
            return;
        }
}

HIDP_VALUE_CAPS ValueCap(BYTE reportId, USAGE usagePage, USAGE usage, USHORT reportCount) {
    HIDP_VALUE_CAPS c = {};
    c.UsagePage = usagePage;
    c.ReportID = reportId;
    c.IsAbsolute = TRUE;
    c.BitSize = 8;
    c.ReportCount = reportCount;
    c.LogicalMax = 255;
    c.NotRange.Usage = usage;
    return c;
}

HIDP_BUTTON_CAPS ButtonCap(BYTE reportId, USAGE usagePage, USAGE usage) {
    HIDP_BUTTON_CAPS c = {};
    c.UsagePage = usagePage;
    c.ReportID = reportId;
    c.IsAbsolute = TRUE;
    c.NotRange.Usage = usage;
    return c;
}

std::string HidPath(USHORT vendorId, USHORT productId, int instance) {
    char path[160];
    std::snprintf(path, sizeof path,
                  "\\\\?\\hid#vid_%04x&pid_%04x&mi_00#7&%08x&0&0000#"
                  "{4d1e55b2-f16f-11cf-88cb-001111000030}",
                  vendorId, productId, unsigned(0x1a2b0000u + unsigned(instance)));
    return path;
}

HidInterface CameraHidInterface(const std::string& path, vcam::Camera* camera) {
    HidInterface h;
    h.path = path;
    h.vendorId = 0xEB1A;
    h.productId = 0x2860;
    h.version = 0x0100;
    h.usagePage = 0xFF00;
    h.usage = 1;
    h.valueCaps[HidP_Feature] = {ValueCap(vcam::kCommandReport, 0xFF00, 1, 4),
                                 ValueCap(vcam::kDataReport, 0xFF00, 2, 40)};
    h.featureReports = {{vcam::kCommandReport, USHORT(vcam::kCommandReportSize)},
                        {vcam::kDataReport, USHORT(vcam::kDataReportSize)}};
    h.setFeature = [camera](const BYTE* report, ULONG length) {
        return camera->HidSetFeature(report, length);
    };
    h.getFeature = [camera](BYTE* report, ULONG length) {
        return camera->HidGetFeature(report, length);
    };
    return h;
}

HidInterface KeyboardHidInterface(const std::string& path) {
    HidInterface h;
    h.path = path;
    h.vendorId = 0x046D;
    h.productId = 0xC31C;
    h.usagePage = 0x01;
    h.usage = 0x06;
    HIDP_BUTTON_CAPS keys = ButtonCap(0, 0x07, 0);
    keys.IsRange = TRUE;
    keys.Range.UsageMin = 0x00;
    keys.Range.UsageMax = 0xE7;
    h.buttonCaps[HidP_Input] = {keys};
    h.buttonCaps[HidP_Output] = {ButtonCap(0, 0x08, 1)}; // the lock lights
    h.systemOwned = true;
    return h;
}

HidInterface MouseHidInterface(const std::string& path) {
    HidInterface h;
    h.path = path;
    h.vendorId = 0x046D;
    h.productId = 0xC077;
    h.usagePage = 0x01;
    h.usage = 0x02;
    h.buttonCaps[HidP_Input] = {ButtonCap(0, 0x09, 1), ButtonCap(0, 0x09, 2)};
    h.valueCaps[HidP_Input] = {ValueCap(0, 0x01, 0x30), ValueCap(0, 0x01, 0x31)};
    h.systemOwned = true;
    return h;
}

const std::vector<DeviceOpen>& DeviceOpens() {
    return Devices().opens;
}

OpenCounts DeviceOpenCounts() {
    return Devices().openCounts;
}

const std::vector<DWORD>& DeviceSetFlags() {
    return Devices().classDevsFlags;
}

int DeviceInfoListCount() {
    return int(Devices().sets.size());
}

int PreparsedDataCount() {
    return int(Devices().preparsed.size());
}

} // namespace winsim

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES, DWORD creationDisposition,
                          DWORD flagsAndAttributes, HANDLE) {
    DeviceState& d = Devices();
    Machine& m = M();
    if (desiredAccess == 0)
        d.openCounts.queryOnly++;
    else if (desiredAccess == (GENERIC_READ | GENERIC_WRITE))
        d.openCounts.readWrite++;
    else
        d.openCounts.other++;
    // Long runs keep the counts only; the record would grow with every search.
    winsim::DeviceOpen* record = nullptr;
    if (m.recordCallLog) {
        d.opens.push_back(winsim::DeviceOpen{fileName ? fileName : "", desiredAccess, shareMode,
                                             creationDisposition, flagsAndAttributes, false});
        record = &d.opens.back();
    }
    if (Fails("CreateFileA"))
        return INVALID_HANDLE_VALUE;
    std::shared_ptr<HidEntry> entry;
    if (fileName) {
        auto found = d.hidByPath.find(Lower(fileName));
        if (found != d.hidByPath.end())
            entry = found->second;
    }
    if (!entry) {
        if (winsim::NamedDevice* named = fileName ? winsim::FindNamedDevice(fileName) : nullptr) {
            if (!named->present) {
                m.lastError = ERROR_FILE_NOT_FOUND;
                return INVALID_HANDLE_VALUE;
            }
            // A serial port is opened exclusively.
            if (named->serial && named->opens > 0) {
                m.lastError = ERROR_ACCESS_DENIED;
                return INVALID_HANDLE_VALUE;
            }
            named->opens++;
            auto device = std::make_shared<DeviceHandle>();
            device->named = named;
            device->access = desiredAccess;
            uintptr_t h = NewHandleValue();
            m.handles[h] = KernelObject{KernelObject::Device, nullptr, device};
            if (record)
                record->succeeded = true;
            return reinterpret_cast<HANDLE>(h);
        }
        m.lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    if (entry->declared.openError) {
        m.lastError = entry->declared.openError;
        return INVALID_HANDLE_VALUE;
    }
    if (entry->declared.systemOwned && (desiredAccess & (GENERIC_READ | GENERIC_WRITE))) {
        m.lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    auto device = std::make_shared<DeviceHandle>();
    device->hid = entry;
    device->access = desiredAccess;
    uintptr_t h = NewHandleValue();
    m.handles[h] = KernelObject{KernelObject::Device, nullptr, device};
    if (record)
        record->succeeded = true;
    return reinterpret_cast<HANDLE>(h);
}
