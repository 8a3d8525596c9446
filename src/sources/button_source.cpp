// Button source selection: the register library first, then the vendor's EVA library, then the
// capture filter's private interface. Each poll reports a press once.
#include "sources/button_source.h"

#include "chiplib/etlib2.h"
#include "diag/serial_log.h"
#include "keyout/joystick.h"

#include <cstring>

ButtonSource gButtonSource;

namespace {

const char kEvaLibrary[] = "UExProc.dll";
const DWORD kStatusRegister = 5;
const DWORD kButtonLatch = 64;

template <class Function> void Resolve(HMODULE module, const char* name, Function* function) {
    // Through void*: FARPROC's own type says nothing about the function's.
    *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Loads the vendor library by name (the program's folder first, by the normal search order).
// Without it, or without one of its three functions, there is no EVA source; the program runs
// on, which an import of the library would not allow.
bool EvaLibraryPresent() {
    EvaLibrary& eva = gButtonSource.eva;
    if (eva.module)
        return true;
    HMODULE module = LoadLibraryA(kEvaLibrary);
    if (!module)
        return false;
    EvaLibrary loaded;
    loaded.module = module;
    Resolve(module, "isConnectedEVA", &loaded.isConnectedEVA);
    Resolve(module, "sendExtensionUnitCommand", &loaded.sendExtensionUnitCommand);
    Resolve(module, "releaseEVA", &loaded.releaseEVA);
    if (!loaded.isConnectedEVA || !loaded.sendExtensionUnitCommand || !loaded.releaseEVA) {
        FreeLibrary(module);
        return false;
    }
    eva = loaded;
    return true;
}

void ReleaseEva() {
    if (gButtonSource.eva.module)
        gButtonSource.eva.releaseEVA();
}

// At exit: a library that may still hold the camera lets go of it before it is unloaded.
void UnloadEva() {
    EvaLibrary& eva = gButtonSource.eva;
    if (!eva.module)
        return;
    if (gButtonSource.evaSource)
        eva.releaseEVA();
    FreeLibrary(eva.module);
    eva = EvaLibrary{};
}

// Polls of the register and EVA sources are timed to the millisecond; the request is paired so
// that repeated attachments neither pile up nor lower what was never raised.
void RaiseTimerResolution() {
    if (!gButtonSource.timerRaised && timeBeginPeriod(1) == TIMERR_NOERROR)
        gButtonSource.timerRaised = true;
}

void LowerTimerResolution() {
    if (gButtonSource.timerRaised) {
        timeEndPeriod(1);
        gButtonSource.timerRaised = false;
    }
}

bool TryRegisterSource() {
    gButtonSource.registerSource = false;
    etLib2_Init();
    char name[kDeviceStringBytes];
    std::memset(name, 0, sizeof name);
    if (etLib2_GetDeviceString(1, name) < 0)
        return false;
    gButtonSource.registerSource = true;
    RaiseTimerResolution();
    return true;
}

bool TryEvaSource() {
    if (!EvaLibraryPresent() || gButtonSource.eva.isConnectedEVA() <= 0)
        return false;
    gButtonSource.evaSource = true;
    RaiseTimerResolution();
    return true;
}

void DestroyCaptureDevice() {
    gButtonSource.captureDevice->Close();
    delete gButtonSource.captureDevice;
    gButtonSource.captureDevice = nullptr;
}

void AttachCaptureDevice() {
    gButtonSource.evaSource = false;
    LowerTimerResolution();
    ReleaseEva();
    CoUninitialize();
    CoInitialize(nullptr);
    if (gButtonSource.captureDevice)
        DestroyCaptureDevice();
    gButtonSource.captureDevice = new CaptureDeviceButton();
    if (!gButtonSource.captureDevice->Open()) {
        delete gButtonSource.captureDevice;
        gButtonSource.captureDevice = nullptr;
        CoUninitialize();
    }
}

const DWORD kAcknowledge = 0;

// The library was left closed by a re-open that found no transport (the camera busy for a
// moment, or the joystick's re-initialisation): without another try the button would stay dead
// until the camera is plugged in again. A tick that re-opens reports no press. A press whose
// acknowledgement could not reach the closed library is acknowledged now, or its latch would
// read as a second press.
void ReopenLibrary() {
    DWORD now = timeGetTime();
    if (now - gButtonSource.reopenTime < kReopenIntervalMs)
        return;
    gButtonSource.reopenTime = now;
    if (etLib2_Init() && gButtonSource.acknowledgePending &&
        etLib2_RegWrite(kStatusRegister, 1, &kAcknowledge) >= 0)
        gButtonSource.acknowledgePending = false;
}

} // namespace

void AttachButtonSource() {
    CoInitialize(nullptr);
    if (gSerialLog.tracePort == nullptr)
        OpenTracePort();
    if (TryRegisterSource() || TryEvaSource())
        return;
    AttachCaptureDevice();
}

int PollRegisterButton() {
    TraceOpening();
    DWORD value = 0;
    int press = 0;
    if (!etLib2_IsOpen()) {
        ReopenLibrary();
        TraceRegisterError();
        gButtonSource.pressLatch = false;
    } else if (etLib2_RegRead(kStatusRegister, 1, &value) < 0) {
        TraceRegisterError();
        gButtonSource.pressLatch = false;
    } else if (value == kButtonLatch && !gButtonSource.pressLatch) {
        gButtonSource.pressLatch = true;
        etLib2_Close();
        gButtonSource.reopenTime = timeGetTime();
        etLib2_Init();
        if (etLib2_RegWrite(kStatusRegister, 1, &kAcknowledge) < 0)
            TraceRegisterError();
        gButtonSource.acknowledgePending = !etLib2_IsOpen();
        press = 1;
    } else {
        gButtonSource.pressLatch = false;
    }
    TraceRegisterEnd();
    return press;
}

int PollEvaButton() {
    TraceOpening();
    int32_t answer = gButtonSource.eva.sendExtensionUnitCommand(13, 0, 0, 4);
    TraceEvaResult(answer);
    // A negative answer is the library's error (the camera gone before the device change
    // arrives), whose low bits would read as the button held down: no press, latch as it was.
    if (answer < 0)
        return 0;
    bool down = (answer & 0x0F) != 0;
    if (gButtonSource.pressLatch) {
        gButtonSource.pressLatch = down;
        return 0;
    }
    if (!down)
        return 0;
    gButtonSource.pressLatch = true;
    return 1;
}

void DetachButtonSource() {
    ButtonSource& s = gButtonSource;
    if (s.registerSource) {
        etLib2_Close();
        s.registerSource = false;
        CoUninitialize();
    } else if (s.evaSource) {
        ReleaseEva();
        s.evaSource = false;
        CoUninitialize();
    } else {
        CloseVirtualJoystick();
        if (s.captureDevice) {
            DestroyCaptureDevice();
            CoUninitialize();
        }
        // A camera that opened but did not answer the string query stays open until here.
        etLib2_Close();
    }
    LowerTimerResolution();
    UnloadEva();
}
