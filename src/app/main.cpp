// The entry routine: application title, the main window, the message loop; exit code 0 in
// every case.
#include <memory>

#include "app/flash_form.h"
#include "app/main_form.h"
#include "app/process_state.h"
#include "package/unit_texts.h"
#include "platform/win32/application.h"

int main() {
    try {
        // Made before the application and its window, released after them.
        app::ProcessState state;
        platform::win32::Application application;
        application.runMainForm(
            texts::ApplicationTitle, app::MainForm,
            [&state](platform::FormParts& parts, const platform::Services& services) {
                return std::unique_ptr<platform::FormEvents>(
                    std::make_unique<TFlashForm>(app::FormControls(parts), services, state));
            });
    } catch (...) {
        // Making the state or the application failed (no memory): shown as any error is.
        platform::win32::Application::showUncaught(texts::ApplicationTitle);
    }
    return 0;
}
