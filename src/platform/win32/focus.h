// Keyboard focus in the main window: Tab and Shift+Tab move it along the tab order over the
// controls that can take it, and when the window is activated again the focus goes back to the
// control that had it (or to the first one that can take it).
#pragma once

#include <windows.h>

#include <vector>

namespace platform::win32 {

class FocusRing {
public:
    // The window and its controls in tab order.
    void setUp(HWND window, std::vector<HWND> tabOrder);

    // The first control in tab order that can take the focus; null when none can.
    HWND first() const;
    // From the control that got the Tab key (the focus may be between activations), to the
    // next one that can take the focus, or the one before it.
    void move(HWND from, bool backwards);
    // The window is activated or deactivated (WM_ACTIVATE's wParam); true when the focus was set
    // here and the message needs nothing more.
    bool activated(WPARAM state);

private:
    // Visible, enabled and a tab stop.
    static bool canTakeFocus(HWND control);

    HWND window_ = nullptr;
    std::vector<HWND> order_;
    HWND saved_ = nullptr;
};

} // namespace platform::win32
