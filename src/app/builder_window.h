// Builder mode's window: the set-up, the two file lists' handlers and the button, which has the
// flasher writer build a flasher from the template and the two chosen image files while the
// window shows the build's progress, outcome and failures.
#pragma once

#include <string>

#include "app/main_form.h"
#include "package/flasher_writer.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/form.h"
#include "platform/system.h"

namespace app {

// The bare names chosen in the two lists and the name of the flasher the last build wrote.
struct BuilderNames {
    std::string ZolkFileName;
    std::string NonZolkFileName;
    std::string OutputFlasherName;
};

// The current directory as the file lists take it: the drive letter, ":\" and the directory
// without its leading backslash ("C:\" at the root).
std::string currentDirectoryText(platform::FileSystem& files);

class BuilderWindow : private package::WriterReport {
public:
    BuilderWindow(const FormControls& controls, const platform::Services& services,
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
    // The build's report: the bar counts the template, a failure is a notice.
    void copyStarted(long long templateSize) override;
    void copyStepped() override;
    void failed(const std::string& text) override;

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
    package::FlasherWriter writer_;
};

} // namespace app
