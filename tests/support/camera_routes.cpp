// The virtual camera's routes as the system would show them.
#include "support/camera_routes.h"

#include "winsim/capture_filter.h"
#include "winsim/control.h"
#include "winsim/devices.h"
#include "winsim/dshow.h"
#include "winsim/system.h"

#include <cstring>
#include <vector>

std::string CameraHidPath() {
    return winsim::HidPath(0xEB1A, 0x2860, 0);
}

void OfferCameraHid(vcam::Camera& camera) {
    winsim::AddHidInterface(winsim::CameraHidInterface(CameraHidPath(), &camera));
}

void OfferCameraExtensionUnit(vcam::Camera& camera) {
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

void OfferCameraVideoInput(vcam::Camera& camera) {
    winsim::AddVideoInputDevice("USB 2800 Video", "\\\\?\\usb#vid_eb1a&pid_2800#video",
                                winsim::FilterFactory({&camera, false, false, {}}));
}

void OfferCameraReceiver(vcam::Camera& camera) {
    winsim::AddReceiverComponent("USB 2800 Receiver", "\\\\?\\usb#vid_eb1a&pid_2800#receiver",
                                 winsim::FilterFactory({&camera, true, false, {}}));
}

void OfferCameraEva(vcam::Camera& camera) {
    winsim::InstallEvaLibrary(&camera);
}

void OfferCameraCaptureDevice(vcam::Camera& camera) {
    winsim::AddVideoInputDevice("USB 2820 Video", "\\\\?\\usb#vid_eb1a&pid_2820",
                                winsim::CaptureFilterOf(&camera, true));
}

const CameraSource kCameraSources[] = {
    {"RegisterHid", OfferCameraHid},
    {"RegisterExtensionUnit", OfferCameraExtensionUnit},
    {"RegisterVideoInput", OfferCameraVideoInput},
    {"RegisterReceiver", OfferCameraReceiver},
    {"Eva", OfferCameraEva},
    {"CaptureDevice", OfferCameraCaptureDevice},
};
const size_t kCameraSourceCount = sizeof kCameraSources / sizeof kCameraSources[0];

const CameraSource* FindCameraSource(const std::string& name) {
    for (const CameraSource& source : kCameraSources)
        if (name == source.name)
            return &source;
    return nullptr;
}

void LoadCameraSerialNumber(vcam::Camera& camera, const char* text) {
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
    camera.SetRegister(vcam::kBusRegister, vcam::kSensorBus);
}
