// Serial diagnostic log. Writes are fire-and-forget: a missing or stuck port must not change
// how the polls behave (a stuck one costs at most the 1000 ms write timeout).
#include "diag/serial_log.h"

#include <cstdio>
#include <cstring>

SerialLog gSerialLog;

namespace {

const DWORD kPollPeriodMs = 200; // later than one timer period is late
const DWORD kSlowRequestMs = 20;

#define HIGHLIGHT "\x1b[1;33;44m"
#define NORMAL "\x1b[0m"

void Write(const char* text) {
    // A port that failed to open would fail every write: skip the system call, which the
    // idle program would otherwise make twice a tick for nothing.
    if (gSerialLog.tracePort == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(gSerialLog.tracePort, text, DWORD(std::strlen(text)), &written, nullptr);
}

// Times are unsigned milliseconds, printed as such: a pause past 2^31 ms is no negative time.
DWORD Interval() {
    return gSerialLog.pollStartTime - gSerialLog.pollEndTime;
}

} // namespace

void OpenTracePort() {
    gSerialLog.tracePort =
        CreateFileA("COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = 50;
    timeouts.ReadTotalTimeoutMultiplier = 50;
    timeouts.ReadTotalTimeoutConstant = 5;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 1000;
    SetCommTimeouts(gSerialLog.tracePort, &timeouts);
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 115200;
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    SetCommState(gSerialLog.tracePort, &dcb);
    SetCommMask(gSerialLog.tracePort, EV_RXCHAR);
}

void TraceOpening() {
    gSerialLog.pollStartTime = timeGetTime();
    char text[64];
    if (gSerialLog.pollEndTime == 0)
        std::snprintf(text, sizeof text, "SendKey - ");
    else if (Interval() <= kPollPeriodMs)
        std::snprintf(text, sizeof text, "SendKey(%04u) - ", unsigned(Interval()));
    else
        std::snprintf(text, sizeof text, HIGHLIGHT "SendKey(%04u) - ERROR " NORMAL,
                      unsigned(Interval()));
    Write(text);
}

void TraceRegisterError() {
    char text[64];
    std::snprintf(text, sizeof text, HIGHLIGHT "etLib2_RegRead(%04u) - ERROR " NORMAL,
                  unsigned(Interval()));
    Write(text);
}

void TraceRegisterEnd() {
    gSerialLog.pollEndTime = timeGetTime();
}

void TraceEvaResult(int32_t answer) {
    gSerialLog.pollEndTime = timeGetTime();
    DWORD duration = gSerialLog.pollEndTime - gSerialLog.pollStartTime;
    char text[64];
    if (duration <= kSlowRequestMs)
        std::snprintf(text, sizeof text, "(0x%02X - %04u %d)\r\n", unsigned(answer),
                      unsigned(duration), int(gSerialLog.evaPollCount));
    else
        std::snprintf(text, sizeof text, HIGHLIGHT "(0x%02X - %04u %d) - ERROR " NORMAL "\r\n",
                      unsigned(answer), unsigned(duration), int(gSerialLog.evaPollCount));
    Write(text);
    gSerialLog.evaPollCount++;
}
