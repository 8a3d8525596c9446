// winsim: starting the program under test. Kept apart so that binaries without the program
// (the conformance tests) link winsim without an entry point.
#include "machine.h"

namespace winsim {

int RunProgram() {
    char commandLine[] = "";
    return WinMain(ProgramInstance(), nullptr, commandLine, SW_SHOWDEFAULT);
}

} // namespace winsim
