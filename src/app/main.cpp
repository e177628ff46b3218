// The entry routine: application title, the main window, the message loop; exit code 0 in
// every case.
#include <memory>

#include "app/flash_form.h"
#include "package/unit_texts.h"
#include "platform/win32/application.h"

int main() {
    platform::win32::Application application;
    try {
        application.setTitle(texts::ApplicationTitle);
        application.createForm(
            [](const platform::FormControls& controls, const platform::Services& services) {
                auto form = std::make_unique<TFlashForm>(controls, services);
                FlashForm = form.get();
                return std::unique_ptr<platform::FormEvents>(std::move(form));
            });
        application.run();
    } catch (const std::exception& error) {
        application.showException(error.what());
    }
    return 0;
}
