// Capture-device button. The filter lookup arrives with the button-source work; until then no
// capture filter is found.
#include "sources/capture_device_button.h"

int CaptureDeviceButton::Open() {
    return 0;
}
int CaptureDeviceButton::Poll() {
    return 0;
}
void CaptureDeviceButton::Close() {}
