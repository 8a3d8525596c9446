// Soak: the real program polls a virtual camera for a million ticks (about 55 hours of program
// time) through random presses, unplugs and re-plugs moving the camera between routes, device
// changes, mode changes and another process holding the library's mutex. Handles, COM objects
// and heap blocks stay flat, and every press the camera latched gives exactly one key action.
#include "app/settings.h"
#include "app/shell.h"
#include "chiplib/etlib2_test.h"
#include "diag/serial_log.h"
#include "keyout/joystick.h"
#include "winsim/dshow.h"
#include "winsim/system.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

const char kLibraryMutex[] = "Empia VideoClass HidClass Library";

class SoakTest : public EtLib2Fixture {
  protected:
    std::mt19937 random{20261207};
    bool plugged = false;
    bool onHid = true;
    int presses = 0;
    int maxHandles = 0, maxCom = 0, maxHeap = 0;
    uint64_t lastPress = 0;

    uint64_t Uniform(uint64_t low, uint64_t high) {
        return std::uniform_int_distribution<uint64_t>(low, high)(random);
    }

    void Plug() {
        onHid = !onHid; // each re-plug takes the other route
        if (onHid)
            OfferHid();
        else
            OfferVideoInput();
        plugged = true;
    }

    void Unplug() {
        winsim::RemoveHidInterface(HidPathOfCamera());
        winsim::RemoveSystemDevices();
        plugged = false;
    }

    void Sample() {
        maxHandles = std::max(maxHandles, winsim::OpenHandleCount());
        maxCom = std::max(maxCom, winsim::LiveComObjects());
        maxHeap = std::max(maxHeap, winsim::HeapBlockCount());
        camera.ClearTransfers(); // the wire record would grow for days
    }

    // One random happening, then the next one is scheduled.
    void Happen() {
        uint64_t now = winsim::Now();
        int what = int(Uniform(0, 99));
        if (what < 40 && plugged && now - lastPress > 2000) {
            camera.PressButton();
            ++presses;
            lastPress = now;
        } else if (what < 50 && now - lastPress > 1500) {
            // Unplugged for a while, then back on the other route; each with its notification.
            Unplug();
            PostMessageA(gShell.mainWindow, WM_DEVICECHANGE, 0x8004, 0);
            winsim::After(Uniform(300, 5000), [this] {
                Plug();
                PostMessageA(gShell.mainWindow, WM_DEVICECHANGE, 0x8000, 0);
            });
            lastPress = now + 6000; // no press until the camera is back
        } else if (what < 60) {
            PostMessageA(gShell.mainWindow, WM_DEVICECHANGE, 0x0007, 0);
        } else if (what < 70) {
            const WPARAM modes[] = {32772, 32773, 32774, 32775, 32776, 32788, 32780, 32781};
            PostMessageA(gShell.mainWindow, WM_COMMAND, modes[Uniform(0, 7)], 0);
        } else if (what < 78) {
            // Another program on the camera: shorter than the library's 1000 ms wait.
            winsim::OtherProcessTakesMutex(kLibraryMutex);
            winsim::After(Uniform(10, 600),
                          [] { winsim::OtherProcessReleasesMutex(kLibraryMutex); });
        }
        winsim::After(Uniform(200, 9000), [this] { Happen(); });
    }

    void Every(uint64_t period) {
        Sample();
        winsim::After(period, [this, period] { Every(period); });
    }
};

TEST_F(SoakTest, AMillionTicksStayFlatAndSendOneActionPerPress) {
    const char* env = std::getenv("VEXOR_SOAK_TICKS");
    const uint64_t ticks = env ? std::strtoull(env, nullptr, 10) : 1000000;
    const uint64_t duration = ticks * 200;
    winsim::RecordCallLog(false);
    winsim::SetTimeLimit(duration + 60000);
    winsim::SetClockBase(0xFFF00000u); // the tick wraps early in the run
    winsim::AddPpjoyDevice();
    LoadSerialNumber();
    Plug();
    winsim::At(1000, [this] { Happen(); });
    winsim::At(1000, [this] { Every(1000); });
    winsim::At(duration, [this] {
        // The last press must have been seen before the user leaves.
        winsim::After(3000, [] { PostMessageA(gShell.mainWindow, WM_COMMAND, 32777, 0); });
    });
    ASSERT_EQ(winsim::RunProgram(), 0);

    int actions = 0;
    const auto& out = winsim::DebugOutput();
    for (size_t i = 0; i + 1 < out.size(); i += 2)
        actions += out[i] == "SendKey";
    std::printf("soak: %llu ticks, %d presses, %d key actions; at most %d handles, %d COM "
                "objects, %d heap blocks\n",
                (unsigned long long)ticks, presses, actions, maxHandles, maxCom, maxHeap);
    EXPECT_EQ(actions, presses);
    EXPECT_GT(presses, int(ticks / 200)); // the run really pressed
    // Flat: the single-instance mutex, a joystick handle, the library's mutex and the camera's
    // interface handle at most; one COM object for a kernel-streaming route; no heap block
    // outlives a search.
    EXPECT_LE(maxHandles, 4);
    EXPECT_LE(maxCom, 1);
    EXPECT_LE(maxHeap, 0);
}

} // namespace
