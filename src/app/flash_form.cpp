#include "app/flash_form.h"

#include "package/firmware_area.h"

uint8_t ModeFlag = 0;
TFlashForm* FlashForm = nullptr;

TFlashForm::TFlashForm(const platform::FormControls& controls, const platform::Services& services)
    : ProgressBar(controls.ProgressBar), FlashButton(controls.FlashButton),
      GroupBox2(controls.GroupBox2), ComboBox1(controls.ComboBox1),
      FileListBox1(controls.FileListBox1), FileListBox2(controls.FileListBox2),
      SelectLabel(controls.SelectLabel), SelectLabel2(controls.SelectLabel2),
      window_(controls.Window), services_(services) {}

TFlashForm::~TFlashForm() = default;

void TFlashForm::FormCreate() {
    // The mode decision comes first: nothing may run before the comparison.
    ModeFlag = package::isTemplate() ? 1 : 0;
    if (ModeFlag == 1) {
        return;
    }
}

void TFlashForm::FormDestroy() {
    if (AspiLibrary >= 32) {
        services_.system.freeLibrary(AspiLibrary);
    }
}

void TFlashForm::FlashButtonClick() {}

void TFlashForm::FileListBox1Click() {}

void TFlashForm::FileListBox2Click() {}
