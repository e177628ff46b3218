// Builder mode: the window set-up, the two file lists' handlers, the button and the build
// that writes a flasher from the template and two image files.
#pragma once

#include <string>

#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/form.h"
#include "platform/system.h"

namespace package {

// The bare names chosen in the two lists and the name of the flasher the last build wrote.
struct BuilderNames {
    std::string ZolkFileName;
    std::string NonZolkFileName;
    std::string OutputFlasherName;
};

// The current directory as the file lists take it: the drive letter, ":\" and the directory
// without its leading backslash ("C:\" at the root).
std::string currentDirectoryText(platform::FileSystem& files);

class Builder {
public:
    Builder(const platform::FormControls& controls, const platform::Services& services,
            BuilderNames& names);

    // The builder-mode branch of the window's creation handler.
    void SetUpWindow();
    void FileListBox1Click();
    void FileListBox2Click();
    // The builder-mode branch of the button: the build under the hourglass.
    void FlashButtonClick();
    // Writes the flasher for the two chosen files; every failure is told in a notice and
    // leaves no new file, and an earlier file of the flasher's name untouched.
    bool NewBuildFlashProgram();

private:
    bool fail(const std::string& text);
    bool putInPlace(const std::string& temp, const std::string& name);
    std::string ownFileName();

    platform::MainWindow& window_;
    platform::Label& selectLabel_;
    platform::Label& selectLabel2_;
    platform::ComboBox& comboBox1_;
    platform::FileList& fileListBox1_;
    platform::FileList& fileListBox2_;
    platform::Frame& groupBox2_;
    platform::ProgressBar& progressBar_;
    platform::Button& flashButton_;
    platform::System& system_;
    platform::Dialogs& dialogs_;
    platform::FileSystem& files_;
    BuilderNames& names_;
};

} // namespace package
