// A stand-in for the vendor's UExProc.dll, for the end-to-end suite: the virtual camera's EVA
// model, whose button the suite holds down and lets go through named shared memory.
#include <windows.h>

#include "e2e/eva_control.h"
#include "vcam/camera.h"

namespace {

// Counts its transfers without keeping them: the model lives in the program's process, whose
// memory the performance run measures over hours of polls.
vcam::Camera& Camera() {
    static vcam::Camera camera;
    static bool once = (camera.SetRecording(false), true);
    (void)once;
    return camera;
}

// The suite's switches, or none when it did not create them.
EvaControl* Control() {
    static EvaControl* control = nullptr;
    if (!control) {
        HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kEvaControlName);
        if (mapping)
            control = static_cast<EvaControl*>(
                MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(EvaControl)));
    }
    return control;
}

} // namespace

extern "C" {

__declspec(dllexport) int isConnectedEVA() {
    EvaControl* c = Control();
    return c && c->connected ? 1 : 0;
}

__declspec(dllexport) int sendExtensionUnitCommand(int command, int a, int b, int c) {
    EvaControl* control = Control();
    if (!control || !control->connected)
        return -1;
    Camera().SetButtonDown(control->buttonDown != 0);
    control->lastCommandMs = LONG(GetTickCount());
    InterlockedIncrement(&control->commands);
    return Camera().EvaCommand(command, a, b, c);
}

__declspec(dllexport) void releaseEVA() {
    if (EvaControl* c = Control())
        InterlockedIncrement(&c->releases);
}
}
