// The routes over which the system shows the virtual camera to the program, and the
// configuration memory that answers the register source's query: plain functions shared by the
// test fixtures and the benchmarks.
#pragma once

#include "vcam/camera.h"
#include "winsim/win32.h" // first: the other winsim headers build on it

#include <cstddef>
#include <string>

std::string CameraHidPath();
// Each route reaches `camera`. The extension unit comes with a current registration record.
void OfferCameraHid(vcam::Camera& camera);
void OfferCameraExtensionUnit(vcam::Camera& camera);
void OfferCameraVideoInput(vcam::Camera& camera);
void OfferCameraReceiver(vcam::Camera& camera);
void OfferCameraEva(vcam::Camera& camera);           // through the vendor's UExProc.dll
void OfferCameraCaptureDevice(vcam::Camera& camera); // the capture driver's own interface

// Every source and route the program can reach the button by, by name ("RegisterHid",
// "RegisterExtensionUnit", "RegisterVideoInput", "RegisterReceiver", "Eva", "CaptureDevice").
struct CameraSource {
    const char* name;
    void (*offer)(vcam::Camera& camera);
};
extern const CameraSource kCameraSources[];
extern const size_t kCameraSourceCount;
const CameraSource* FindCameraSource(const std::string& name); // nullptr when there is none

// A configuration EEPROM whose string 1 reads `text`, and the I2C engine on the sensor bus.
void LoadCameraSerialNumber(vcam::Camera& camera, const char* text = "VX2-0042");
