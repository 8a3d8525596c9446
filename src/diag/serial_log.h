// Serial diagnostic log: a timed trace of every register and EVA poll on "COM2", for a
// terminal at 115200 8N1. Slow or failed polls are marked in colour and with "ERROR".
#pragma once

#include "win32api.h"

#include <cstdint>

struct SerialLog {
    HANDLE tracePort = nullptr; // unset until the first attachment; invalid after a failed open
    DWORD pollStartTime = 0;
    DWORD pollEndTime = 0; // 0: no poll has finished yet
    int32_t evaPollCount = 0;
};
extern SerialLog gSerialLog;

void OpenTracePort();
void TraceOpening();
void TraceRegisterError();
void TraceRegisterEnd();
void TraceEvaResult(int32_t answer);
