// Stand-in button sources: each call is counted and noted in winsim's call log; polls answer
// what the test scripted.
#include "support/fake_sources.h"

#include "app/shell.h"
#include "support/program_test.h"
#include "winsim/control.h"

FakeSources gFakeSources;
ButtonSource gButtonSource;

void ResetSourcesForTest() {
    gButtonSource = ButtonSource{};
    gFakeSources = FakeSources{};
}

void AttachButtonSource() {
    winsim::Note("AttachButtonSource");
    gFakeSources.attachCalls++;
    if (gFakeSources.onAttach)
        gFakeSources.onAttach();
}

void DetachButtonSource() {
    winsim::Note("DetachButtonSource");
    gFakeSources.detachCalls++;
    gFakeSources.mainWindowAliveAtDetach = gShell.mainWindow && IsWindow(gShell.mainWindow);
}

int PollRegisterButton() {
    gFakeSources.registerPolls++;
    return gFakeSources.registerPoll ? gFakeSources.registerPoll() : 0;
}

int PollEvaButton() {
    gFakeSources.evaPolls++;
    return gFakeSources.evaPoll ? gFakeSources.evaPoll() : 0;
}

void* CaptureDeviceButton::Open() {
    return this;
}
int CaptureDeviceButton::Poll() {
    gFakeSources.capturePolls++;
    return gFakeSources.capturePoll ? gFakeSources.capturePoll() : 0;
}
void CaptureDeviceButton::Close() {}
