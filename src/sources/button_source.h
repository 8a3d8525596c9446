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
    // When the register source last tried to open the library: a camera that was busy at the
    // re-open after a press is tried again, but not on every tick.
    DWORD reopenTime = 0;
    bool acknowledgePending = false; // the last press found the library closed, not cleared
    EvaLibrary eva;
};
extern ButtonSource gButtonSource;

// The least time between two attempts of the register source to re-open a closed library.
const DWORD kReopenIntervalMs = 2000;

void AttachButtonSource();
void DetachButtonSource();
int PollRegisterButton();
int PollEvaButton();
