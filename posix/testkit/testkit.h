// What the test kit's parts share: each keeps its own state, which layerReset puts back.
#ifndef POSIX_TESTKIT_H
#define POSIX_TESTKIT_H

#include <windows.h>

#include "seam.h"

namespace testkit {

// The palette display when a test has switched it on, else null (display.cpp).
const layer::PaletteDisplay *activeDisplay();
void resetDisplay();

// The test's handlers, asked while a modal loop waits (input.cpp). True when one gave input.
bool idle(HWND loopWindow);
void resetInput();

} // namespace testkit

#endif
