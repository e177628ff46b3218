// What the screen shows of a window, read back from the display: for the check that a window
// paints itself again after another window covered it while its program waited.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace driver {

// The pixels of a rectangle of the screen, row by row (0x00RRGGBB).
std::vector<uint32_t> grabScreen(const RECT& area);

// A window of the driver's own, in one colour, over `area` of the screen until it is destroyed;
// it shows before this returns.
HWND coverScreen(const RECT& area, COLORREF colour);

// The window's client area on the screen.
RECT clientOnScreen(HWND window);

} // namespace driver
