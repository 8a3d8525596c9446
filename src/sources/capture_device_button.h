// Capture-device button: the button latch behind the camera capture filter's private
// property interface.
#pragma once

class CaptureDeviceButton {
  public:
    int Open();
    int Poll(); // 1 on a new press, else 0
    void Close();
};
