// The routes over which the system shows the virtual camera to the program, and the
// configuration memory that answers the register source's query: plain functions shared by the
// test fixtures and the benchmarks.
#pragma once

#include "vcam/camera.h"

#include <string>

std::string CameraHidPath();
// Each route reaches `camera`. The extension unit comes with a current registration record.
void OfferCameraHid(vcam::Camera& camera);
void OfferCameraExtensionUnit(vcam::Camera& camera);
void OfferCameraVideoInput(vcam::Camera& camera);
void OfferCameraReceiver(vcam::Camera& camera);
// A configuration EEPROM whose string 1 reads `text`, and the I2C engine on the sensor bus.
void LoadCameraSerialNumber(vcam::Camera& camera, const char* text = "VX2-0042");
