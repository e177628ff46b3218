// Child window identifiers of the main window's controls, in creation order. The test driver
// shares this table so that its scripts can name controls as the program does.
#pragma once

namespace platform::win32 {

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

struct NamedControl {
    const char* name;
    int id;
};

inline constexpr NamedControl namedControls[] = {
    {"SelectLabel", IdSelectLabel}, {"SelectLabel2", IdSelectLabel2},
    {"ComboBox1", IdComboBox1},     {"FileListBox1", IdFileListBox1},
    {"GroupBox2", IdGroupBox2},     {"ProgressBar", IdProgressBar},
    {"FlashButton", IdFlashButton}, {"FileListBox2", IdFileListBox2},
};

// Window classes that the driver looks for.
inline constexpr const char* MainWindowClass = "TFlashForm";
inline constexpr const char* ApplicationWindowClass = "TApplication";
inline constexpr const char* MessageBoxClass = "TMessageForm";

} // namespace platform::win32
