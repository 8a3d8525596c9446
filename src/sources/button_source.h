// Button source selection and polling: which route to the camera's button is attached, and
// the polls that report each new press once.
#pragma once

#include "sources/capture_device_button.h"
#include "win32api.h"

#include <cstdint>

// UExProc.dll, the vendor's library for EVA cameras, loaded at run time when present.
struct EvaLibrary {
    HMODULE module = nullptr;
    int (*isConnectedEVA)() = nullptr;
    int32_t (*sendExtensionUnitCommand)(int32_t, int32_t, int32_t, int32_t) = nullptr;
    void (*releaseEVA)() = nullptr;
};

struct ButtonSource {
    bool registerSource = false;
    bool evaSource = false;
    CaptureDeviceButton* captureDevice = nullptr;
    bool pressLatch = false;
    bool timerRaised = false; // one timeBeginPeriod(1) outstanding
    EvaLibrary eva;
};
extern ButtonSource gButtonSource;

void AttachButtonSource();
void DetachButtonSource();
int PollRegisterButton();
int PollEvaButton();
