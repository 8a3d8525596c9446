// Button source selection and polling: which route to the camera's button is attached, and
// the polls that report each new press once.
#pragma once

#include "sources/capture_device_button.h"

struct ButtonSource {
    bool registerSource = false;
    bool evaSource = false;
    CaptureDeviceButton* captureDevice = nullptr;
    bool pressLatch = false;
};
extern ButtonSource gButtonSource;

void AttachButtonSource();
void DetachButtonSource();
int PollRegisterButton();
int PollEvaButton();
