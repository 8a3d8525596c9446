// Button source selection. The camera routes arrive with the button-source work; until then
// nothing is attached and every tick finds no source.
#include "sources/button_source.h"

ButtonSource gButtonSource;

void AttachButtonSource() {}
void DetachButtonSource() {}
int PollRegisterButton() {
    return 0;
}
int PollEvaButton() {
    return 0;
}
