// The camera behind the HID conformance tests: winsim's camera interface natively, the uhid camera
// of the HID machine under Wine (scripts/hid_vm.sh). Both record every feature report the device
// receives in one line format, so the tests can say what reached the device.
#pragma once

#include <string>
#include <vector>

namespace conformance {

// Makes the camera present, behind other HID interfaces (a system's mouse and keyboard come first);
// false when this machine has none (a Wine without the HID machine).
bool PlugHidCamera();
// Every feature report the device has received or answered so far, oldest first:
//   "set ID LENGTH HEX ok|refused"  (what arrived, id first; ID and LENGTH decimal)
//   "get ID -> HEX ok|refused"      (what the device gave back, id first)
std::vector<std::string> CameraReports();
// The camera's capture button, pressed once (the chip latches 0x40 in register 5).
void PressHidCameraButton();

} // namespace conformance
