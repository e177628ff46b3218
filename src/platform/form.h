// What the window system hands to the program's main window, and the events it delivers.
#pragma once

#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/system.h"

namespace platform {

class FileSystem;

// The controls of the main window, by their names.
struct FormControls {
    platform::MainWindow& Window;
    platform::ProgressBar& ProgressBar;
    platform::Button& FlashButton;
    platform::Frame& GroupBox2;
    platform::ComboBox& ComboBox1;
    platform::FileList& FileListBox1;
    platform::FileList& FileListBox2;
    platform::Label& SelectLabel;
    platform::Label& SelectLabel2;
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
    virtual void FlashButtonClick() = 0;
    virtual void FileListBox1Click() = 0;
    virtual void FileListBox2Click() = 0;
};

// An error's text as the program shows it: a period is added when the text is not empty and
// its last character sorts above '.'.
std::string withPeriod(const std::string& message);

} // namespace platform
