// Key capture. Recording arrives with the Custom Settings work; until then a key pressed in a
// key field is dropped.
#include "customui/key_capture.h"

void CaptureKeyStroke(HWND, WPARAM) {}
