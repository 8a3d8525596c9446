// The HID conformance tests' camera on Windows: the HID machine's uhid camera, read and driven
// through its control folder.
#include "hid_camera.h"

#include "hidvm/camera_control.h"

namespace conformance {

bool PlugHidCamera() {
    return !hidvm::CameraFolder().empty(); // the machine plugged it in before Wine started
}

std::vector<std::string> CameraReports() {
    return hidvm::CameraReportLines();
}

void PressHidCameraButton() {
    hidvm::CameraCommand("press");
}

} // namespace conformance
