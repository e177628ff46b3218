// Runs the program's application object with a small form whose behaviour the command line
// chooses, so that the driver can check the entry routine's rules: an exception from the
// creation or from a handler (a std::exception or any other object), a quit request during the
// creation, the events of the file lists and the cursor.
//   formdemo throw-create | throw-other-create | quit-create | events
// In the i686 build it runs on the Windows 9x release's own runtime (no C runtime's command
// line), so the mode is read from the command line the system keeps.
#include <windows.h>

#include <cstring>
#include <memory>
#include <stdexcept>

#include "app/main_form.h"
#include "platform/win32/application.h"

namespace {

// Thrown where something that is no std::exception is wanted.
struct Other {};

class DemoForm : public app::MainFormEvents {
public:
    DemoForm(const app::FormControls& controls, const platform::Services& services,
             const char* mode)
        : controls_(controls), services_(services), mode_(mode) {}

    void FormCreate() override {
        controls_.Window.setTitle("Form Demo window");
        if (std::strcmp(mode_, "throw-create") == 0) {
            throw std::runtime_error("Cannot start");
        }
        if (std::strcmp(mode_, "throw-other-create") == 0) {
            throw Other{};
        }
        if (std::strcmp(mode_, "quit-create") == 0) {
            services_.dialogs.notice("Quitting");
            services_.system.postQuit(0);
            return;
        }
        controls_.ComboBox1.setVisible(false);
        controls_.FileListBox1.setMask("*.BIN;*.bin;");
        controls_.FileListBox2.setMask("C*.TXT");
        controls_.FlashButton.setCaption("Throw");
    }
    void FormDestroy() override {}
    void FlashButtonClick() override {
        clicks_++;
        controls_.GroupBox2.setCaption("Clicked " + std::to_string(clicks_));
        controls_.GroupBox2.repaint();
        if (clicks_ == 1) {
            throw std::runtime_error("Click failed");
        }
        if (clicks_ == 2) {
            throw Other{};
        }
        services_.system.setCursor(platform::CursorShape::Hourglass);
        controls_.ProgressBar.setMax(262144);
        controls_.ProgressBar.setStep(16384);
        controls_.ProgressBar.stepIt();
        controls_.ProgressBar.stepIt();
        services_.system.setCursor(platform::CursorShape::Default);
        services_.dialogs.notice("Step " + std::to_string(controls_.ProgressBar.step()) +
                                 " position " + std::to_string(controls_.ProgressBar.position()));
    }
    void FileListBox1Click() override {
        const std::string name = controls_.FileListBox1.fileName();
        const std::string dir = controls_.FileListBox1.directory();
        // The directory part is the test's own; show only what follows it.
        services_.dialogs.notice(
            "List 1: " + name.substr(name.rfind('\\') + 1) +
            (name.compare(0, dir.size(), dir) == 0 ? " in its directory" : " elsewhere"));
    }
    void FileListBox2Click() override {
        services_.dialogs.notice("List 2: " + std::to_string(controls_.FileListBox2.itemIndex()));
    }

private:
    app::FormControls controls_;
    platform::Services services_;
    const char* mode_;
    int clicks_ = 0;
};

// The first word after the program's name: quoted or not, the name ends at its closing quote or
// at the first blank.
const char* modeFromCommandLine() {
    const char* line = GetCommandLineA();
    if (*line == '"') {
        line = std::strchr(line + 1, '"');
        line = line != nullptr ? line + 1 : "";
    } else {
        while (*line != '\0' && *line != ' ') {
            ++line;
        }
    }
    while (*line == ' ') {
        ++line;
    }
    return *line != '\0' ? line : "events";
}

} // namespace

int main() {
    const char* mode = modeFromCommandLine();
    platform::win32::Application application;
    application.runMainForm(
        "Form Demo", app::MainForm,
        [mode](platform::FormParts& parts, const platform::Services& services) {
            return std::unique_ptr<platform::FormEvents>(
                std::make_unique<DemoForm>(app::FormControls(parts), services, mode));
        });
    return 0;
}
