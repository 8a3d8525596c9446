// The simulated machine the benchmarks and the tick profile measure on: a fresh winsim and fresh
// program state, the virtual camera on one source and route, the trace port, and a check at the
// end that detaching left nothing open. Plain functions, so that it runs without GoogleTest.
#pragma once

#include "support/camera_routes.h"
#include "vcam/camera.h"
#include "winsim/devices.h"

#include <cstddef>
#include <string>

// `count` system keyboards, each on a path of its own.
void AddKeyboards(int count);

class BenchMachine {
  public:
    // Resets winsim and the program's state; the trace port COM2 is present and the camera
    // answers the register source's configuration-string query.
    BenchMachine();
    ~BenchMachine();
    BenchMachine(const BenchMachine&) = delete;
    BenchMachine& operator=(const BenchMachine&) = delete;

    // Attaches the button source as a device change would; false when none attached.
    bool Attach();
    // From here the camera, the trace port and winsim keep counts only, so that a long run
    // neither grows nor spends its time on records.
    void StopRecording();
    // One poll tick, 200 ms of virtual time after the last.
    static void Tick();
    // Detaches the source and closes the library; what was left open, empty when nothing.
    std::string Detach();

    vcam::Camera camera;
    winsim::NamedDevice* com2 = nullptr;
};
