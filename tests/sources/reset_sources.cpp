// The real button-source module's reset between tests.
#include "sources/button_source.h"
#include "support/program_state.h"

void ResetSourcesForTest() {
    delete gButtonSource.captureDevice; // a test that stopped half way
    gButtonSource = ButtonSource{};
}
