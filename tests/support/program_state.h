// A fresh simulated machine and fresh program state, for the tests and the fuzz targets alike.
#pragma once

#include <string>

// winsim reset, and every module's process-wide state back to its start.
void ResetProgramState();
// Each binary resets the button-source module it links (the stand-in or the real one).
void ResetSourcesForTest();
// Handles the program keeps until it ends: the single-instance mutex, the trace port and a
// joystick that detachment leaves open.
int HandlesKeptByDesign();
// What the program left open beyond those, as "2 handles, 1 COM objects left open"; empty when
// nothing.
std::string WhatIsLeftOpen();
