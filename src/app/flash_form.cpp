#include "app/flash_form.h"

#include "package/firmware_area.h"

TFlashForm::TFlashForm(const app::FormControls& controls, const platform::Services& services,
                       app::ProcessState& state)
    : FormControls(controls),
      FormDrive(services.system, services.dialogs, ProgressBar, ComboBox1, GroupBox2, state.Drives),
      services_(services), state_(state),
      startup_({Window, SelectLabel2, FileListBox1, FileListBox2, ComboBox1, GroupBox2},
               services.system, services.dialogs, services.files, *this, state.Drives, AspiLibrary),
      builder_(controls, services, state.Builder),
      flash_(*this, layer(), state.Drives, services.system, services.dialogs) {
    state_.FlashForm = this;
}

TFlashForm::~TFlashForm() {
    if (state_.FlashForm == this) {
        state_.FlashForm = nullptr;
    }
}

void TFlashForm::FormCreate() {
    // The mode decision comes first: nothing may run before the comparison.
    state_.ModeFlag = package::isTemplate() ? 1 : 0;
    if (state_.ModeFlag == 1) {
        builder_.SetUpWindow();
    } else {
        startup_.run();
    }
}

void TFlashForm::FormDestroy() {
    if (app::libraryLoaded(AspiLibrary)) {
        services_.system.freeLibrary(AspiLibrary);
    }
}

void TFlashForm::FlashButtonClick() {
    // One run at a time: a press that reaches the handler while a flash or a build runs is
    // dropped.
    if (running_) {
        return;
    }
    running_ = true;
    struct Done {
        bool& running;
        ~Done() { running = false; }
    } done{running_};
    if (state_.ModeFlag == 1) {
        builder_.FlashButtonClick();
        return;
    }
    flash_.run();
    // The window stays, so that the user can read what happened, but the drive is left alone.
    if (driveStoppedAnswering()) {
        FlashButton.setEnabled(false);
    }
}

bool TFlashForm::NewBuildFlashProgram() {
    return builder_.NewBuildFlashProgram();
}

void TFlashForm::FileListBox1Click() {
    builder_.FileListBox1Click();
}

void TFlashForm::FileListBox2Click() {
    builder_.FileListBox2Click();
}
