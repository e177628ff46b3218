// The main window made from a layout: its window class, the window at the layout's place and the
// screen's density, the design font, the tooltips, one native control per layout entry, and the
// client area fitted to the visible controls.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "platform/form.h"
#include "platform/win32/win32_controls.h"

namespace platform::win32 {

class FormWindow : public FormParts {
public:
    FormWindow();
    ~FormWindow() override;
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    // Makes the window, hidden, owned by `owner`, with `procedure` as its window procedure,
    // which gets `creationData` with WM_NCCREATE; then its controls. Throws std::runtime_error
    // when a window cannot be made.
    void create(const FormLayout& layout, HWND owner, WNDPROC procedure, void* creationData);
    // Destroys the window (and with it its controls) if it is still there.
    void destroy();
    HWND handle() const;

    // Sizes the window so that its client area just holds the visible controls; labels, which
    // size themselves to their captions, do not count.
    void fitClientArea();
    // The window itself or one of its child windows (a combo box's edit field included).
    bool owns(HWND window) const;
    // The layout entry of a control of this window; null for any other identifier.
    const LayoutEntry* entry(int id) const;
    // The controls that have a place in the tab order, in that order.
    std::vector<HWND> tabOrder() const;
    // A combo box has its list dropped down.
    bool listDroppedDown() const;
    // Esc: a click on the cancel button when it is visible and enabled.
    void pressCancelButton();

    MainWindow& window() override;
    Control& control(int id) override;

private:
    struct Part {
        const LayoutEntry* entry;
        std::unique_ptr<NativeControl> native;
        Control* control;
        RECT designRect; // in the window's client area, scaled
    };

    int scaled(int value) const;
    void createControl(const LayoutEntry& entry);
    const Part* part(int id) const;

    class Window;
    std::unique_ptr<Window> window_;
    HWND tooltip_ = nullptr;
    HFONT font_ = nullptr;
    int dpi_;
    std::vector<Part> parts_;
};

} // namespace platform::win32
