#include "platform/win32/focus.h"

namespace platform::win32 {

void FocusRing::setUp(HWND window, std::vector<HWND> tabOrder) {
    window_ = window;
    order_ = std::move(tabOrder);
}

bool FocusRing::canTakeFocus(HWND control) {
    return IsWindowVisible(control) && IsWindowEnabled(control) &&
           (GetWindowLongA(control, GWL_STYLE) & WS_TABSTOP);
}

HWND FocusRing::first() const {
    for (HWND control : order_) {
        if (canTakeFocus(control)) {
            return control;
        }
    }
    return nullptr;
}

void FocusRing::move(HWND from, bool backwards) {
    HWND focus = from;
    // The combo box's edit field is a child of the combo box.
    while (focus && GetParent(focus) != window_) {
        focus = GetParent(focus);
    }
    const int count = static_cast<int>(order_.size());
    int at = -1;
    for (int i = 0; i < count; ++i) {
        if (order_[static_cast<size_t>(i)] == focus) {
            at = i;
        }
    }
    for (int step = 1; step <= count; ++step) {
        const int i = at < 0 ? (backwards ? count - step : step - 1)
                             : (at + (backwards ? count - step : step)) % count;
        HWND control = order_[static_cast<size_t>(i)];
        if (canTakeFocus(control)) {
            SetFocus(control);
            return;
        }
    }
}

bool FocusRing::activated(WPARAM state) {
    if (LOWORD(state) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && focus != window_ && IsChild(window_, focus)) {
            saved_ = focus;
        }
        return false;
    }
    // The control that had the focus may be the combo box's edit field, no tab stop itself: it
    // only has to be there still.
    HWND target = saved_ && IsWindowVisible(saved_) && IsWindowEnabled(saved_) ? saved_ : first();
    if (!target) {
        return false;
    }
    SetFocus(target);
    return true;
}

} // namespace platform::win32
