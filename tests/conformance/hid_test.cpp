// HID behaviour the register library relies on, with the camera present: SetupAPI's listing of
// the HID class and its interface details, attributes, preparsed data and capabilities, and the
// feature reports with the buffer lengths hidclass accepts and what then reaches the device. Runs
// against winsim and, in the HID machine (scripts/hid_vm.sh), under Wine's hid.dll and hidclass.
#include "hid_camera.h"
#include "ok.h"

#include "win32api.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

using conformance::CameraReports;

namespace {

const USHORT kVendor = 0xEB1A, kProduct = 0x2860;
const BYTE kCommandReport = 0x87, kDataReport = 0x93;
const ULONG kCommandLength = 1 + 4, kDataLength = 1 + 40;
// The collection's longest feature report, id included: what Windows wants every buffer to hold.
const ULONG kFeatureLength = kDataLength;
const BYTE kUndeclaredReport = 0x55;

GUID HidClass() {
    GUID hid;
    HidD_GetHidGuid(&hid);
    return hid;
}

HANDLE Open(const std::string& path, DWORD access) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

struct Listed {
    std::string path;
    HIDD_ATTRIBUTES attributes;
    HIDP_CAPS caps;
};

// Every interface of the HID class, read through a query-only handle as the program reads them.
std::vector<Listed> ListHid() {
    std::vector<Listed> all;
    GUID hid = HidClass();
    HDEVINFO set =
        SetupDiGetClassDevsA(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return all;
    for (DWORD i = 0;; ++i) {
        SP_DEVICE_INTERFACE_DATA member = {};
        member.cbSize = sizeof member;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &hid, i, &member))
            break;
        std::vector<char> buffer(1024);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
        detail->cbSize = sizeof *detail;
        if (!SetupDiGetDeviceInterfaceDetailA(set, &member, detail, DWORD(buffer.size()), nullptr,
                                              nullptr))
            continue;
        Listed l = {};
        l.path = detail->DevicePath;
        HANDLE h = Open(l.path, 0);
        if (h != INVALID_HANDLE_VALUE) {
            l.attributes.Size = sizeof l.attributes;
            HidD_GetAttributes(h, &l.attributes);
            PHIDP_PREPARSED_DATA data = nullptr;
            if (HidD_GetPreparsedData(h, &data)) {
                HidP_GetCaps(data, &l.caps);
                HidD_FreePreparsedData(data);
            }
            CloseHandle(h);
        }
        all.push_back(l);
    }
    SetupDiDestroyDeviceInfoList(set);
    return all;
}

std::string CameraPath() {
    for (const Listed& l : ListHid())
        if (l.attributes.VendorID == kVendor && l.attributes.ProductID == kProduct)
            return l.path;
    return "";
}

bool Lacks(const std::string& text, const char* part) {
    std::string lower = text;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return lower.find(part) == std::string::npos;
}

// A feature report buffer of `length` bytes: the id, `data`, then zeros.
std::vector<BYTE> Report(BYTE id, std::initializer_list<BYTE> data, size_t length) {
    std::vector<BYTE> r(length, 0);
    r[0] = id;
    size_t i = 1;
    for (BYTE b : data)
        if (i < length)
            r[i++] = b;
    return r;
}

// What the device received since `before` reports had been recorded, one line each.
std::string ReachedSince(size_t before) {
    std::vector<std::string> all = CameraReports();
    std::string s;
    for (size_t i = before; i < all.size(); ++i)
        s += (s.empty() ? "" : " | ") + all[i];
    return s;
}

std::string Hex(const std::vector<BYTE>& bytes, size_t n) {
    std::string s;
    char two[3];
    for (size_t i = 0; i < n && i < bytes.size(); ++i) {
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        s += two;
    }
    return s;
}

bool gCamera = false;
std::string gCameraPath;

bool NeedCamera() {
    if (gCameraPath.empty()) {
        gCamera = conformance::PlugHidCamera();
        gCameraPath = gCamera ? CameraPath() : "";
    }
    if (!gCamera) {
        conformance::Totals().skipped++;
        std::printf("skipped: no HID camera on this machine (run scripts/hid_vm.sh)\n");
    }
    return gCamera;
}

// The camera's interface opened with `access`, or INVALID_HANDLE_VALUE (skipped or failed, said).
HANDLE OpenCamera(DWORD access, const char* kind) {
    if (!NeedCamera() || gCameraPath.empty())
        return INVALID_HANDLE_VALUE;
    HANDLE h = Open(gCameraPath, access);
    ok(h != INVALID_HANDLE_VALUE, "%s open failed with %lu", kind, (unsigned long)GetLastError());
    return h;
}

} // namespace

CONFORMANCE_TEST(hid_listing_and_interface_details) {
    if (!NeedCamera())
        return;
    ok(!gCameraPath.empty(), "no HID interface with vendor %04x and product %04x", kVendor,
       kProduct);
    GUID hid = HidClass();
    HDEVINFO set =
        SetupDiGetClassDevsA(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ok(set != INVALID_HANDLE_VALUE, "SetupDiGetClassDevsA failed with %lu",
       (unsigned long)GetLastError());
    if (set == INVALID_HANDLE_VALUE)
        return;
    const size_t pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    DWORD i = 0, cameraIndex = 0;
    for (;; ++i) {
        SP_DEVICE_INTERFACE_DATA member;
        std::memset(&member, 0xCC, sizeof member);
        member.cbSize = sizeof member;
        SetLastError(0xdeadbeef);
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &hid, i, &member)) {
            ok(GetLastError() == ERROR_NO_MORE_ITEMS, "member %lu: last error %lu",
               (unsigned long)i, (unsigned long)GetLastError());
            break;
        }
        ok(member.Flags == SPINT_ACTIVE, "member %lu: flags %lx", (unsigned long)i,
           (unsigned long)member.Flags);
        ok(std::memcmp(&member.InterfaceClassGuid, &hid, sizeof hid) == 0,
           "member %lu: class %08lx", (unsigned long)i,
           (unsigned long)member.InterfaceClassGuid.Data1);

        // The size question: no buffer, the size the path needs.
        DWORD required = 0xdeadbeef;
        SetLastError(0xdeadbeef);
        BOOL got = SetupDiGetDeviceInterfaceDetailA(set, &member, nullptr, 0, &required, nullptr);
        ok(!got && GetLastError() == ERROR_INSUFFICIENT_BUFFER,
           "member %lu: size question gave %d, last error %lu", (unsigned long)i, got,
           (unsigned long)GetLastError());
        std::vector<char> buffer(required + 8, char(0x5A));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());

        // The size field must be the record's own size (5 on 32-bit Windows), not the buffer's.
        detail->cbSize = DWORD(required);
        SetLastError(0xdeadbeef);
        got = SetupDiGetDeviceInterfaceDetailA(set, &member, detail, required, nullptr, nullptr);
        ok(!got && GetLastError() == ERROR_INVALID_USER_BUFFER,
           "member %lu: cbSize %lu gave %d, last error %lu", (unsigned long)i,
           (unsigned long)required, got, (unsigned long)GetLastError());

        detail->cbSize = sizeof *detail;
        SetLastError(0xdeadbeef);
        got =
            SetupDiGetDeviceInterfaceDetailA(set, &member, detail, required - 1, nullptr, nullptr);
        ok(!got && GetLastError() == ERROR_INSUFFICIENT_BUFFER,
           "member %lu: one byte short gave %d, last error %lu", (unsigned long)i, got,
           (unsigned long)GetLastError());

        got = SetupDiGetDeviceInterfaceDetailA(set, &member, detail, required, nullptr, nullptr);
        ok(got, "member %lu: detail failed with %lu", (unsigned long)i,
           (unsigned long)GetLastError());
        if (!got)
            continue;
        std::string path = detail->DevicePath;
        ok(required == pathOffset + path.size() + 1, "member %lu: %lu bytes asked for \"%s\"",
           (unsigned long)i, (unsigned long)required, path.c_str());
        ok(path.compare(0, 8, "\\\\?\\hid#") == 0 || path.compare(0, 8, "\\\\?\\HID#") == 0,
           "member %lu: path \"%s\"", (unsigned long)i, path.c_str());
        ok(buffer[required] == char(0x5A), "member %lu: written past the %lu bytes",
           (unsigned long)i, (unsigned long)required);
        if (path == gCameraPath)
            cameraIndex = i;
        // Every interface answers a query-only open; the program's search reads them all.
        HANDLE h = Open(path, 0);
        ok(h != INVALID_HANDLE_VALUE, "\"%s\": query-only open failed with %lu", path.c_str(),
           (unsigned long)GetLastError());
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    std::printf("hid: %lu interfaces, the camera at %lu: %s\n", (unsigned long)i,
                (unsigned long)cameraIndex, gCameraPath.c_str());
    ok(!Lacks(gCameraPath, "vid_eb1a&pid_2860"), "camera path \"%s\"", gCameraPath.c_str());
    ok(SetupDiDestroyDeviceInfoList(set), "SetupDiDestroyDeviceInfoList failed with %lu",
       (unsigned long)GetLastError());
}

CONFORMANCE_TEST(hid_keyboards_and_mice_open_for_queries_only) {
    if (!NeedCamera())
        return;
    int seen = 0;
    for (const Listed& l : ListHid()) {
        if (l.caps.UsagePage != 0x01 || (l.caps.Usage != 0x02 && l.caps.Usage != 0x06))
            continue;
        ++seen;
        SetLastError(0xdeadbeef);
        HANDLE h = Open(l.path, GENERIC_READ | GENERIC_WRITE);
        if (wine_differs("keyboards and mice open for reading and writing")) {
            ok(h != INVALID_HANDLE_VALUE, "\"%s\": read/write open failed with %lu", l.path.c_str(),
               (unsigned long)GetLastError());
        } else {
            ok(h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED,
               "\"%s\" (usage %x): read/write open gave %p, last error %lu", l.path.c_str(),
               l.caps.Usage, (void*)h, (unsigned long)GetLastError());
        }
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    ok(seen >= 2, "%d keyboards and mice listed", seen);
}

CONFORMANCE_TEST(hid_camera_attributes_and_capabilities) {
    HANDLE h = OpenCamera(0, "query-only");
    if (h == INVALID_HANDLE_VALUE)
        return;
    HIDD_ATTRIBUTES a;
    std::memset(&a, 0xCC, sizeof a);
    a.Size = sizeof a;
    ok(HidD_GetAttributes(h, &a), "HidD_GetAttributes failed with %lu",
       (unsigned long)GetLastError());
    ok(a.Size == sizeof a && a.VendorID == kVendor && a.ProductID == kProduct,
       "attributes: size %lu, %04x:%04x", (unsigned long)a.Size, a.VendorID, a.ProductID);
    if (wine_differs("hidraw devices report version 0"))
        ok(a.VersionNumber == 0, "version %04x", a.VersionNumber);
    else
        ok(a.VersionNumber == 0x0100, "version %04x", a.VersionNumber);

    PHIDP_PREPARSED_DATA data = nullptr;
    ok(HidD_GetPreparsedData(h, &data) && data, "HidD_GetPreparsedData failed with %lu",
       (unsigned long)GetLastError());
    if (!data) {
        CloseHandle(h);
        return;
    }
    HIDP_CAPS c;
    std::memset(&c, 0xCC, sizeof c);
    NTSTATUS status = HidP_GetCaps(data, &c);
    ok(status == HIDP_STATUS_SUCCESS, "HidP_GetCaps: %08lx", (unsigned long)status);
    ok(c.UsagePage == 0xFF00 && c.Usage == 1, "collection %04x:%04x", c.UsagePage, c.Usage);
    ok(c.FeatureReportByteLength == kFeatureLength && c.InputReportByteLength == 0 &&
           c.OutputReportByteLength == 0,
       "report lengths: input %u, output %u, feature %u", c.InputReportByteLength,
       c.OutputReportByteLength, c.FeatureReportByteLength);
    ok(c.NumberFeatureValueCaps == 2 && c.NumberFeatureButtonCaps == 0 &&
           c.NumberInputValueCaps == 0 && c.NumberInputButtonCaps == 0 &&
           c.NumberOutputValueCaps == 0 && c.NumberOutputButtonCaps == 0,
       "capability counts: feature %u values %u buttons, input %u/%u, output %u/%u",
       c.NumberFeatureValueCaps, c.NumberFeatureButtonCaps, c.NumberInputValueCaps,
       c.NumberInputButtonCaps, c.NumberOutputValueCaps, c.NumberOutputButtonCaps);
    ok(c.NumberLinkCollectionNodes == 1, "%u link collections", c.NumberLinkCollectionNodes);

    // Every feature value item, as the program asks: usage page, link collection and usage 0.
    HIDP_VALUE_CAPS values[4];
    std::memset(values, 0xCC, sizeof values);
    USHORT n = 4;
    status = HidP_GetSpecificValueCaps(HidP_Feature, 0, 0, 0, values, &n, data);
    ok(status == HIDP_STATUS_SUCCESS && n == 2, "feature values: %08lx, %u", (unsigned long)status,
       n);
    int command = -1, dataItem = -1;
    for (int i = 0; i < n && i < 2; ++i) {
        if (values[i].ReportID == kCommandReport)
            command = i;
        if (values[i].ReportID == kDataReport)
            dataItem = i;
    }
    ok(command >= 0 && dataItem >= 0, "report ids %02x %02x", values[0].ReportID,
       values[1].ReportID);
    if (command >= 0 && dataItem >= 0) {
        const HIDP_VALUE_CAPS& c87 = values[command];
        const HIDP_VALUE_CAPS& c93 = values[dataItem];
        ok(c87.UsagePage == 0xFF00 && !c87.IsRange && c87.NotRange.Usage == 1 && c87.BitSize == 8 &&
               c87.ReportCount == 4,
           "0x87: page %04x usage %u, %u x %u bits", c87.UsagePage, c87.NotRange.Usage,
           c87.ReportCount, c87.BitSize);
        ok(c93.UsagePage == 0xFF00 && !c93.IsRange && c93.NotRange.Usage == 2 && c93.BitSize == 8 &&
               c93.ReportCount == 40,
           "0x93: page %04x usage %u, %u x %u bits", c93.UsagePage, c93.NotRange.Usage,
           c93.ReportCount, c93.BitSize);
    }
    ok(values[2].ReportID == 0xCC && values[2].UsagePage == 0xCCCC,
       "a third value record was written");

    // Too little room: as many as fit, and the status says so.
    std::memset(values, 0xCC, sizeof values);
    n = 1;
    status = HidP_GetSpecificValueCaps(HidP_Feature, 0, 0, 0, values, &n, data);
    if (wine_differs("a short array's count comes back as the number of matching items"))
        ok(status == HIDP_STATUS_BUFFER_TOO_SMALL && n == 2, "room for one: %08lx, %u",
           (unsigned long)status, n);
    else
        ok(status == HIDP_STATUS_BUFFER_TOO_SMALL && n == 1, "room for one: %08lx, %u",
           (unsigned long)status, n);
    ok(values[1].ReportID == 0xCC && values[1].UsagePage == 0xCCCC,
       "room for one: a second record was written");
    // One usage picks one item.
    n = 4;
    status = HidP_GetSpecificValueCaps(HidP_Feature, 0xFF00, 0, 2, values, &n, data);
    ok(status == HIDP_STATUS_SUCCESS && n == 1 && values[0].ReportID == kDataReport,
       "usage 2: %08lx, %u, report %02x", (unsigned long)status, n, values[0].ReportID);
    // Report types without items, and button items the camera does not have.
    n = 4;
    status = HidP_GetSpecificValueCaps(HidP_Input, 0, 0, 0, values, &n, data);
    ok(status == HIDP_STATUS_USAGE_NOT_FOUND && n == 0, "input values: %08lx, %u",
       (unsigned long)status, n);
    HIDP_BUTTON_CAPS buttons[2];
    n = 2;
    status = HidP_GetSpecificButtonCaps(HidP_Feature, 0, 0, 0, buttons, &n, data);
    ok(status == HIDP_STATUS_USAGE_NOT_FOUND && n == 0, "feature buttons: %08lx, %u",
       (unsigned long)status, n);

    ok(HidD_FreePreparsedData(data), "HidD_FreePreparsedData failed");
    CloseHandle(h);
}

CONFORMANCE_TEST(hid_feature_reports_at_the_programs_lengths) {
    HANDLE h = OpenCamera(GENERIC_READ | GENERIC_WRITE, "read/write");
    if (h == INVALID_HANDLE_VALUE)
        return;
    // Reads register 5 (the button latch) the way the register library does: the command in a
    // buffer of the collection's longest feature report, then the data report.
    auto readStatus = [&](BYTE* value) {
        size_t before = CameraReports().size();
        std::vector<BYTE> command =
            Report(kCommandReport, {0x00, 0x05, 0x01, 0x00}, kFeatureLength);
        BOOL set = HidD_SetFeature(h, command.data(), ULONG(command.size()));
        ok(set, "set 0x87 (%lu bytes) failed with %lu", (unsigned long)command.size(),
           (unsigned long)GetLastError());
        std::vector<BYTE> reply(kFeatureLength, 0xCC);
        reply[0] = kDataReport;
        BOOL got = HidD_GetFeature(h, reply.data(), ULONG(reply.size()));
        ok(got, "get 0x93 (%lu bytes) failed with %lu", (unsigned long)reply.size(),
           (unsigned long)GetLastError());
        ok(reply[0] == kDataReport, "the data report came back as %02x", reply[0]);
        std::string expected = "set 135 5 8700050100 ok | get 147 -> " + Hex(reply, 41) + " ok";
        std::string reached = ReachedSince(before);
        ok(reached == expected, "the device saw \"%s\", expected \"%s\"", reached.c_str(),
           expected.c_str());
        *value = reply[1];
    };
    BYTE status = 0xCC;
    readStatus(&status);
    ok(status == 0x00, "register 5 before a press: %02x", status);
    conformance::PressHidCameraButton();
    readStatus(&status);
    ok(status == 0x40, "register 5 after a press: %02x", status);

    // The acknowledgement: write 0 to register 5, a command then the data report.
    size_t before = CameraReports().size();
    std::vector<BYTE> command = Report(kCommandReport, {0x01, 0x00, 0x00, 0x00}, kFeatureLength);
    std::vector<BYTE> write = Report(kDataReport, {0x05, 0x01, 0x00}, kFeatureLength);
    ok(HidD_SetFeature(h, command.data(), kFeatureLength) &&
           HidD_SetFeature(h, write.data(), kFeatureLength),
       "writing register 5 failed with %lu", (unsigned long)GetLastError());
    std::string expected = "set 135 5 8701000000 ok | set 147 41 " + Hex(write, 41) + " ok";
    std::string reached = ReachedSince(before);
    ok(reached == expected, "the device saw \"%s\", expected \"%s\"", reached.c_str(),
       expected.c_str());
    readStatus(&status);
    ok(status == 0x00, "register 5 after the acknowledgement: %02x", status);

    // A data report without its command: the device refuses it and the call fails.
    before = CameraReports().size();
    SetLastError(0xdeadbeef);
    BOOL set = HidD_SetFeature(h, write.data(), kFeatureLength);
    ok(!set && GetLastError() == ERROR_GEN_FAILURE, "a refused report gave %d, last error %lu", set,
       (unsigned long)GetLastError());
    reached = ReachedSince(before);
    ok(reached == "set 147 41 " + Hex(write, 41) + " refused", "the device saw \"%s\"",
       reached.c_str());
    CloseHandle(h);
}

CONFORMANCE_TEST(hid_feature_buffer_lengths) {
    HANDLE h = OpenCamera(GENERIC_READ | GENERIC_WRITE, "read/write");
    if (h == INVALID_HANDLE_VALUE)
        return;
    // Register 5 read commands in buffers of several lengths.
    struct Case {
        BYTE id;
        ULONG length;
        bool windows; // Windows: the buffer must hold the collection's longest feature report
        bool wine;    // Wine: the buffer must hold the addressed report
    };
    const Case setCases[] = {
        {kCommandReport, kCommandLength - 1, false, false}, // short of its own report
        {kCommandReport, kCommandLength, false, true},      // exactly its own report
        {kCommandReport, kFeatureLength - 1, false, true},
        {kCommandReport, kFeatureLength, true, true},
        {kCommandReport, 65, true, true}, // longer: cut to the report
        {kUndeclaredReport, kFeatureLength, false, false},
    };
    for (const Case& c : setCases) {
        std::vector<BYTE> buffer = Report(c.id, {0x00, 0x05, 0x01, 0x00}, c.length);
        size_t before = CameraReports().size();
        SetLastError(0xdeadbeef);
        BOOL set = HidD_SetFeature(h, buffer.data(), c.length);
        DWORD error = GetLastError(); // before reading the record, which sets its own
        std::string reached = ReachedSince(before);
        bool accepted = c.windows;
        if (c.windows != c.wine &&
            wine_differs("hidclass checks a feature buffer against the addressed report only"))
            accepted = c.wine;
        if (accepted) {
            ok(set, "set %02x with %lu bytes failed with %lu", c.id, (unsigned long)c.length,
               (unsigned long)error);
            ok(reached == "set 135 5 8700050100 ok",
               "set %02x with %lu bytes: the device saw \"%s\"", c.id, (unsigned long)c.length,
               reached.c_str());
        } else {
            ok(!set && error == ERROR_INVALID_PARAMETER,
               "set %02x with %lu bytes gave %d, last error %lu", c.id, (unsigned long)c.length,
               set, (unsigned long)error);
            ok(reached.empty(), "set %02x with %lu bytes reached the device: \"%s\"", c.id,
               (unsigned long)c.length, reached.c_str());
        }
    }
    const Case getCases[] = {
        {kDataReport, kDataLength - 1, false, false},
        {kDataReport, kDataLength, true, true},
        {kDataReport, 65, true, true},
        {kUndeclaredReport, kFeatureLength, false, false},
    };
    for (const Case& c : getCases) {
        std::vector<BYTE> buffer(c.length, 0xCC);
        buffer[0] = c.id;
        size_t before = CameraReports().size();
        SetLastError(0xdeadbeef);
        BOOL got = HidD_GetFeature(h, buffer.data(), c.length);
        DWORD error = GetLastError();
        std::string reached = ReachedSince(before);
        if (c.windows) {
            ok(got && buffer[0] == c.id, "get %02x with %lu bytes gave %d, last error %lu", c.id,
               (unsigned long)c.length, got, (unsigned long)error);
            ok(reached.compare(0, 10, "get 147 ->") == 0 && reached.find('|') == std::string::npos,
               "get %02x with %lu bytes: the device saw \"%s\"", c.id, (unsigned long)c.length,
               reached.c_str());
            // A longer buffer keeps its bytes past the report.
            ok(c.length <= kDataLength || buffer[kDataLength] == 0xCC,
               "get %02x with %lu bytes wrote past the report: %02x", c.id, (unsigned long)c.length,
               buffer[kDataLength]);
        } else {
            ok(!got && error == ERROR_INVALID_PARAMETER,
               "get %02x with %lu bytes gave %d, last error %lu", c.id, (unsigned long)c.length,
               got, (unsigned long)error);
            ok(reached.empty(), "get %02x with %lu bytes reached the device: \"%s\"", c.id,
               (unsigned long)c.length, reached.c_str());
        }
    }
    CloseHandle(h);
}
