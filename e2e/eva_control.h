// The end-to-end suite's switches for the stand-in UExProc.dll, in named shared memory.
#pragma once

#include <windows.h>

const char kEvaControlName[] = "Local\\Vexor2EvaControl";

struct EvaControl {
    volatile LONG connected;
    volatile LONG buttonDown;
    volatile LONG commands; // sendExtensionUnitCommand calls seen
    volatile LONG releases;
    volatile LONG lastCommandMs; // GetTickCount at the last sendExtensionUnitCommand
};
