// What the window system makes a program's main window from, what it hands back, and the events
// it delivers. The layout is the program's own data; the window system builds the window and
// one native control per entry from it.
#pragma once

#include <cstddef>

#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/system.h"

namespace platform {

class FileSystem;

enum class ControlKind { Label, ComboBox, FileList, Frame, ProgressBar, Button };

// One control of a layout. Positions and sizes are pixels at the layout's design density
// (120 pixels per inch), scaled to the screen's when the window is made.
struct LayoutEntry {
    int id;           // child window identifier
    const char* name; // the control's name, also for tools that look at the window from outside
    ControlKind kind;
    int left, top, width, height;
    const char* text;    // caption at design (a label sizes itself to it)
    const char* tooltip; // null: none
    int tabOrder;        // place in the keyboard focus order; -1: none
    bool cancel;         // a button that Esc anywhere in the window presses
};

// A main window: its position and design size, and its controls in creation order (a later
// control lies above an earlier one where they overlap). All start visible.
struct FormLayout {
    int left, top, width, height;
    const LayoutEntry* controls;
    std::size_t count;
};

template <std::size_t N>
constexpr FormLayout formLayout(int left, int top, int width, int height,
                                const LayoutEntry (&controls)[N]) {
    return FormLayout{left, top, width, height, controls, N};
}

// The window and its controls as the window system made them from a layout.
class FormParts {
public:
    virtual ~FormParts() = default;
    virtual MainWindow& window() = 0;
    // The control with that identifier; throws std::out_of_range when the layout has none.
    virtual Control& control(int id) = 0;
    // The control as the interface of its kind; throws std::bad_cast for another kind.
    template <typename Kind> Kind& get(int id) { return dynamic_cast<Kind&>(control(id)); }
};

struct Services {
    System& system;
    Dialogs& dialogs;
    FileSystem& files;
};

class FormEvents {
public:
    virtual ~FormEvents() = default;
    virtual void FormCreate() = 0;
    virtual void FormDestroy() = 0;
    // A click: a button pressed, or a file list's selection changed by the user.
    virtual void ControlClick(int id) = 0;
};

// An error's text as the program shows it: a period is added when the text is not empty and
// its last character sorts above '.'.
std::string withPeriod(const std::string& message);

} // namespace platform
