// The HID conformance tests' camera against winsim: the virtual camera on winsim's camera
// interface, after a mouse and a keyboard as on a real system.
#include "hid_camera.h"

#include "vcam/camera.h"
#include "winsim/devices.h"

#include <cstdio>

namespace conformance {

namespace {

vcam::Camera& Camera() {
    static vcam::Camera camera;
    return camera;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char two[3];
    for (uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        s += two;
    }
    return s;
}

} // namespace

bool PlugHidCamera() {
    winsim::AddHidInterface(winsim::MouseHidInterface(winsim::HidPath(0x046D, 0xC077, 1)));
    winsim::AddHidInterface(winsim::KeyboardHidInterface(winsim::HidPath(0x046D, 0xC31C, 2)));
    winsim::AddHidInterface(
        winsim::CameraHidInterface(winsim::HidPath(0xEB1A, 0x2860, 3), &Camera()));
    return true;
}

std::vector<std::string> CameraReports() {
    std::vector<std::string> lines;
    for (const vcam::Transfer& t : Camera().Transfers()) {
        if (t.route != vcam::Route::Hid)
            continue;
        std::string line;
        if (t.direction == vcam::Direction::Set)
            line =
                "set " + std::to_string(t.id) + " " + std::to_string(t.length) + " " + Hex(t.sent);
        else
            line = "get " + std::to_string(t.id) + " -> " + Hex(t.returned);
        lines.push_back(line + (t.ok ? " ok" : " refused"));
    }
    return lines;
}

void PressHidCameraButton() {
    Camera().PressButton();
}

} // namespace conformance
