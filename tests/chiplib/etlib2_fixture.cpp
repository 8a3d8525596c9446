// The etLib2 fixture: the camera's four routes as the system would show them.
#include "chiplib/etlib2_test.h"

#include "winsim/system.h"

#include <cstring>

void EtLib2Fixture::TearDown() {
    etLib2_Close();
    ChipTest::TearDown();
}

std::string EtLib2Fixture::HidPathOfCamera() const {
    return winsim::HidPath(0xEB1A, 0x2860, 0);
}

void EtLib2Fixture::OfferHid() {
    winsim::AddHidInterface(winsim::CameraHidInterface(HidPathOfCamera(), &camera));
}

void EtLib2Fixture::OfferExtensionUnit() {
    const char key[] = "Software\\Empia\\UVC Extension Control";
    const std::string file = "C:\\Windows\\System32\\emxunit.dll";
    winsim::RegPutDword(HKEY_CURRENT_USER, key, "Version Number", 0x1000);
    std::vector<BYTE> path(file.begin(), file.end());
    path.push_back(0);
    winsim::RegPut(HKEY_CURRENT_USER, key, "FileName Path", REG_SZ, path);
    winsim::AddFile(file);
    winsim::RegisterExtensionUnitServer(&camera);
    winsim::AddVideoInputDevice(
        "USB 2800 Video", "\\\\?\\usb#vid_eb1a&pid_2800#unit",
        winsim::FilterFactory({&camera, false, true, winsim::CameraNodes()}));
}

void EtLib2Fixture::OfferVideoInput() {
    winsim::AddVideoInputDevice("USB 2800 Video", "\\\\?\\usb#vid_eb1a&pid_2800#video",
                                winsim::FilterFactory({&camera, false, false, {}}));
}

void EtLib2Fixture::OfferReceiver() {
    winsim::AddReceiverComponent("USB 2800 Receiver", "\\\\?\\usb#vid_eb1a&pid_2800#receiver",
                                 winsim::FilterFactory({&camera, true, false, {}}));
}

void EtLib2Fixture::OfferAllRoutes() {
    OfferHid();
    OfferExtensionUnit();
    OfferVideoInput();
    OfferReceiver();
}

void EtLib2Fixture::LoadSerialNumber(const char* text) {
    std::vector<BYTE> image(0x8000, 0xFF);
    image[1] = 0x01; // block at 340
    const DWORD base = 340;
    image[base + 18] = 0x01; // selector 1: string 1
    image[base + 12] = 0x30;
    size_t length = std::strlen(text);
    image[base + 0x30] = BYTE(length + 2);
    image[base + 0x31] = 3;
    std::memcpy(&image[base + 0x32], text, length);
    camera.LoadEeprom(image);
    camera.SetRegister(vcam::kBusRegister, 0x04);
}

std::vector<std::string> EtLib2Fixture::Kinds(vcam::Camera& cam) {
    std::vector<std::string> out;
    for (const vcam::Transfer& t : cam.Transfers())
        out.push_back(std::string(t.direction == vcam::Direction::Set ? "set " : "get ") +
                      std::to_string(t.id) + (t.ok ? "" : " refused"));
    cam.ClearTransfers();
    return out;
}
