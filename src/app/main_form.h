// The main window's shape: its layout (position, design size, the controls in creation order
// with their kinds, places, texts, tab order and names), its controls by name and its events by
// control. The window system builds the window from the layout; adding a control is a line in
// each of the three lists below, and a control with an event adds its handler to the events.
#pragma once

#include "platform/form.h"

namespace app {

// Child window identifiers, in creation order.
enum ControlId : int {
    IdSelectLabel = 101,
    IdSelectLabel2,
    IdComboBox1,
    IdFileListBox1,
    IdGroupBox2,
    IdProgressBar,
    IdFlashButton,
    IdFileListBox2,
};

// Made at 120 pixels per inch. ComboBox1's height is its edit field's; FlashButton is the
// window's cancel button.
inline constexpr platform::LayoutEntry MainFormControls[] = {
    // id, name, kind, left, top, width, height, text, tooltip, tab order, cancel
    {IdSelectLabel, "SelectLabel", platform::ControlKind::Label, 0, 0, 340, 20,
     "Select a drive you want to update new F.W:", nullptr, -1, false},
    {IdSelectLabel2, "SelectLabel2", platform::ControlKind::Label, 248, 0, 4, 20, "", nullptr, -1,
     false},
    {IdComboBox1, "ComboBox1", platform::ControlKind::ComboBox, 0, 24, 481, 28, "", nullptr, 0,
     false},
    {IdFileListBox1, "FileListBox1", platform::ControlKind::FileList, 0, 24, 241, 41, "",
     "Select ZOL-K BIN file.", 4, false},
    {IdGroupBox2, "GroupBox2", platform::ControlKind::Frame, 0, 64, 481, 57, "", nullptr, 1, false},
    {IdProgressBar, "ProgressBar", platform::ControlKind::ProgressBar, 8, 88, 385, 23, "", nullptr,
     3, false},
    {IdFlashButton, "FlashButton", platform::ControlKind::Button, 400, 88, 73, 25, "FLASH", nullptr,
     2, true},
    {IdFileListBox2, "FileListBox2", platform::ControlKind::FileList, 248, 24, 233, 41, "",
     "Select NonZOL-K BIN file.", 5, false},
};

// At 66, 68 on the screen, 489 x 153 at design (the window then fits its client area to its
// visible controls).
inline constexpr platform::FormLayout MainForm =
    platform::formLayout(66, 68, 489, 153, MainFormControls);

// The controls of the main window, by their names, found in what the window system made.
struct FormControls {
    explicit FormControls(platform::FormParts& parts) : parts_(parts) {}

private:
    platform::FormParts& parts_; // first: the members below are looked up in it

public:
    platform::MainWindow& Window = parts_.window();
    platform::ProgressBar& ProgressBar = parts_.get<platform::ProgressBar>(IdProgressBar);
    platform::Button& FlashButton = parts_.get<platform::Button>(IdFlashButton);
    platform::Frame& GroupBox2 = parts_.get<platform::Frame>(IdGroupBox2);
    platform::ComboBox& ComboBox1 = parts_.get<platform::ComboBox>(IdComboBox1);
    platform::FileList& FileListBox1 = parts_.get<platform::FileList>(IdFileListBox1);
    platform::FileList& FileListBox2 = parts_.get<platform::FileList>(IdFileListBox2);
    platform::Label& SelectLabel = parts_.get<platform::Label>(IdSelectLabel);
    platform::Label& SelectLabel2 = parts_.get<platform::Label>(IdSelectLabel2);
};

// The main window's events: creation and destruction, and a handler for each control's click.
class MainFormEvents : public platform::FormEvents {
public:
    virtual void FlashButtonClick() = 0;
    virtual void FileListBox1Click() = 0;
    virtual void FileListBox2Click() = 0;

    void ControlClick(int id) final {
        switch (id) {
        case IdFlashButton:
            FlashButtonClick();
            break;
        case IdFileListBox1:
            FileListBox1Click();
            break;
        case IdFileListBox2:
            FileListBox2Click();
            break;
        default:
            break;
        }
    }
};

} // namespace app
