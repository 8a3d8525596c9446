// A stand-in for the button-source module, linked into the native tests in its place: tests
// attach sources and script what each poll reports.
#pragma once

#include "sources/button_source.h"

#include <functional>

struct FakeSources {
    int attachCalls = 0;
    int detachCalls = 0;
    int registerPolls = 0;
    int evaPolls = 0;
    int capturePolls = 0;
    bool mainWindowAliveAtDetach = false;
    std::function<void()> onAttach;
    std::function<int()> registerPoll; // default: no press
    std::function<int()> evaPoll;
    std::function<int()> capturePoll;
};
extern FakeSources gFakeSources;
