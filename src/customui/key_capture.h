// Key capture: turns a key pressed in a key field into a KeyStroke and its text.
#pragma once

#include "win32api.h"

void CaptureKeyStroke(HWND keyField, WPARAM virtualKey);
