// A HID camera in Linux user space: the virtual camera behind /dev/uhid, with the report
// descriptor a camera of this kind has, so that Wine's winebus finds it through hidraw and a
// Windows program reaches it through SetupAPI, hid.dll and hidclass as it would a USB one.
//
// usage: uhid_camera DIR
// Every feature report is answered by the virtual camera and appended to DIR/reports.log as
//   set ID LENGTH SENT-HEX ok|refused     (the report as it arrived, LENGTH bytes, id first)
//   get ID -> RETURNED-HEX ok|refused     (the whole declared report given back, id first)
// with ID and LENGTH in decimal. Tests drive the camera by
// appending "N command" lines to DIR/control (press, unplug, plug, quit); N is written to DIR/ack
// once the command has been carried out. DIR/state says "plugged" or "unplugged".
#include "vcam/camera.h"

#include <linux/uhid.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Vendor collection 0xFF00:1 with two feature value items: the command report (0x87, 4 bytes)
// and the data report (0x93, 40 bytes). No input or output reports.
const uint8_t kReportDescriptor[] = {
    0x06, 0x00, 0xFF, // Usage Page (0xFF00)
    0x09, 0x01,       // Usage (1)
    0xA1, 0x01,       // Collection (Application)
    0x15, 0x00,       //   Logical Minimum (0)
    0x26, 0xFF, 0x00, //   Logical Maximum (255)
    0x75, 0x08,       //   Report Size (8)
    0x85, 0x87,       //   Report ID (0x87)
    0x95, 0x04,       //   Report Count (4)
    0x09, 0x01,       //   Usage (1)
    0xB1, 0x02,       //   Feature (Data, Variable, Absolute)
    0x85, 0x93,       //   Report ID (0x93)
    0x95, 0x28,       //   Report Count (40)
    0x09, 0x02,       //   Usage (2)
    0xB1, 0x02,       //   Feature (Data, Variable, Absolute)
    0xC0,             // End Collection
};
const uint8_t kCommandReport = 0x87, kDataReport = 0x93;
const size_t kCommandBytes = 4, kDataBytes = 40;
const uint16_t kVendor = 0xEB1A, kProduct = 0x2860, kVersion = 0x0100;
const char kSerialNumber[] = "VX2-HID7";

volatile sig_atomic_t gStop = 0;
void OnSignal(int) {
    gStop = 1;
}

std::string Hex(const uint8_t* bytes, size_t n) {
    std::string s;
    char two[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        s += two;
    }
    return s;
}

// The configuration EEPROM whose string 1 is the serial number, and the I2C engine on the sensor
// bus, as the camera powers up.
void PowerUp(vcam::Camera& camera) {
    camera = vcam::Camera();
    std::vector<uint8_t> image(0x8000, 0xFF);
    image[1] = 0x01; // the string block starts at 340
    const size_t base = 340;
    image[base + 18] = 0x01; // selector 1: string 1
    image[base + 12] = 0x30; // string 1 at block offset 0x30
    const size_t length = std::strlen(kSerialNumber);
    image[base + 0x30] = uint8_t(length + 2);
    image[base + 0x31] = 3; // a string descriptor
    std::memcpy(&image[base + 0x32], kSerialNumber, length);
    camera.LoadEeprom(image);
    camera.SetRegister(vcam::kBusRegister, vcam::kSensorBus);
}

struct Device {
    int fd = -1;
    bool plugged = false;
    vcam::Camera camera;
    std::string dir;
    FILE* log = nullptr;
};

bool Send(int fd, const uhid_event& ev) {
    return write(fd, &ev, sizeof ev) == ssize_t(sizeof ev);
}

bool Plug(Device& d) {
    PowerUp(d.camera);
    uhid_event ev;
    std::memset(&ev, 0, sizeof ev);
    ev.type = UHID_CREATE2;
    std::snprintf(reinterpret_cast<char*>(ev.u.create2.name), sizeof ev.u.create2.name,
                  "Vexor2 test camera");
    std::snprintf(reinterpret_cast<char*>(ev.u.create2.uniq), sizeof ev.u.create2.uniq, "%s",
                  kSerialNumber);
    ev.u.create2.rd_size = sizeof kReportDescriptor;
    ev.u.create2.bus = 0x03; // BUS_USB
    ev.u.create2.vendor = kVendor;
    ev.u.create2.product = kProduct;
    ev.u.create2.version = kVersion;
    std::memcpy(ev.u.create2.rd_data, kReportDescriptor, sizeof kReportDescriptor);
    d.plugged = Send(d.fd, ev);
    return d.plugged;
}

void Unplug(Device& d) {
    uhid_event ev;
    std::memset(&ev, 0, sizeof ev);
    ev.type = UHID_DESTROY;
    Send(d.fd, ev);
    d.plugged = false;
}

void WriteFileAtomically(const std::string& path, const std::string& text) {
    std::string temporary = path + ".new";
    FILE* f = std::fopen(temporary.c_str(), "w");
    if (!f)
        return;
    std::fputs(text.c_str(), f);
    std::fclose(f);
    std::rename(temporary.c_str(), path.c_str());
}

void Log(Device& d, bool set, const uint8_t* sent, size_t length, const uint8_t* returned,
         size_t returnedLength, bool ok) {
    if (set)
        std::fprintf(d.log, "set %u %zu %s", length ? unsigned(sent[0]) : 0u, length,
                     Hex(sent, length).c_str());
    else
        std::fprintf(d.log, "get %u -> %s", unsigned(sent[0]),
                     ok ? Hex(returned, returnedLength).c_str() : "");
    std::fprintf(d.log, " %s\n", ok ? "ok" : "refused");
    std::fflush(d.log);
}

// A feature report asked for: the whole declared report, id first, as hidraw hands it on.
void AnswerGet(Device& d, const uhid_get_report_req& req) {
    uhid_event reply;
    std::memset(&reply, 0, sizeof reply);
    reply.type = UHID_GET_REPORT_REPLY;
    reply.u.get_report_reply.id = req.id;
    uint8_t report[1 + kDataBytes] = {};
    size_t length = req.rnum == kCommandReport ? 1 + kCommandBytes : 1 + kDataBytes;
    report[0] = req.rnum;
    bool declared = req.rnum == kCommandReport || req.rnum == kDataReport;
    bool ok =
        declared && req.rtype == UHID_FEATURE_REPORT && d.camera.HidGetFeature(report, length);
    Log(d, false, report, 1, report, length, ok);
    if (ok) {
        reply.u.get_report_reply.size = uint16_t(length);
        std::memcpy(reply.u.get_report_reply.data, report, length);
    } else {
        reply.u.get_report_reply.err = EIO;
    }
    Send(d.fd, reply);
}

void AnswerSet(Device& d, const uhid_set_report_req& req) {
    uhid_event reply;
    std::memset(&reply, 0, sizeof reply);
    reply.type = UHID_SET_REPORT_REPLY;
    reply.u.set_report_reply.id = req.id;
    size_t length = req.size < UHID_DATA_MAX ? req.size : UHID_DATA_MAX;
    bool ok = req.rtype == UHID_FEATURE_REPORT && length && req.data[0] == req.rnum &&
              d.camera.HidSetFeature(req.data, length);
    Log(d, true, req.data, length, nullptr, 0, ok);
    if (!ok)
        reply.u.set_report_reply.err = EIO;
    Send(d.fd, reply);
}

void HandleEvent(Device& d) {
    uhid_event ev;
    std::memset(&ev, 0, sizeof ev);
    if (read(d.fd, &ev, sizeof ev) <= 0)
        return;
    if (ev.type == UHID_GET_REPORT)
        AnswerGet(d, ev.u.get_report);
    else if (ev.type == UHID_SET_REPORT)
        AnswerSet(d, ev.u.set_report);
}

// Carries out the control lines appended since the last look.
void ReadControl(Device& d, long* offset) {
    FILE* f = std::fopen((d.dir + "/control").c_str(), "r");
    if (!f)
        return;
    std::fseek(f, *offset, SEEK_SET);
    char line[128];
    while (std::fgets(line, sizeof line, f)) {
        size_t n = std::strlen(line);
        if (n == 0 || line[n - 1] != '\n')
            break; // half written: read it again next time
        *offset = std::ftell(f);
        unsigned long number = 0;
        char command[32] = {};
        if (std::sscanf(line, "%lu %31s", &number, command) != 2)
            continue;
        std::string c = command;
        if (c == "press")
            d.camera.PressButton();
        else if (c == "unplug" && d.plugged)
            Unplug(d);
        else if (c == "plug" && !d.plugged)
            Plug(d);
        else if (c == "quit")
            gStop = 1;
        std::fprintf(d.log, "# %s\n", command);
        std::fflush(d.log);
        WriteFileAtomically(d.dir + "/state", d.plugged ? "plugged\n" : "unplugged\n");
        WriteFileAtomically(d.dir + "/ack", std::to_string(number) + "\n");
    }
    std::fclose(f);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: uhid_camera DIR\n");
        return 2;
    }
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    Device d;
    d.dir = argv[1];
    d.log = std::fopen((d.dir + "/reports.log").c_str(), "a");
    if (!d.log) {
        std::perror("uhid_camera: reports.log");
        return 1;
    }
    d.fd = open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (d.fd < 0) {
        std::perror("uhid_camera: /dev/uhid");
        return 1;
    }
    if (!Plug(d)) {
        std::perror("uhid_camera: UHID_CREATE2");
        return 1;
    }
    WriteFileAtomically(d.dir + "/state", "plugged\n");
    long offset = 0;
    while (!gStop) {
        pollfd p = {d.fd, POLLIN, 0};
        int r = poll(&p, 1, 20);
        if (r > 0 && (p.revents & POLLIN))
            HandleEvent(d);
        else if (r < 0 && errno != EINTR)
            break;
        ReadControl(d, &offset);
    }
    if (d.plugged)
        Unplug(d);
    close(d.fd);
    std::fclose(d.log);
    return 0;
}
