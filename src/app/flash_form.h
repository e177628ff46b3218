// The main window: its controls, the ASPI library handle and the handlers. Each handler is a
// thin call into the subsystem that does the work.
#pragma once

#include <cstdint>

#include "platform/form.h"

// 1 = builder mode (the program is a template), 0 = flasher mode; set once by FormCreate.
extern uint8_t ModeFlag;

class TFlashForm : public platform::FormEvents {
public:
    TFlashForm(const platform::FormControls& controls, const platform::Services& services);
    ~TFlashForm() override;
    TFlashForm(const TFlashForm&) = delete;
    TFlashForm& operator=(const TFlashForm&) = delete;

    platform::ProgressBar& ProgressBar;
    platform::Button& FlashButton;
    platform::Frame& GroupBox2;
    platform::ComboBox& ComboBox1;
    platform::FileList& FileListBox1;
    platform::FileList& FileListBox2;
    platform::Label& SelectLabel;
    platform::Label& SelectLabel2;
    // Module handle of the loaded ASPI library, compared as a signed 32-bit number.
    int32_t AspiLibrary = 0;

    void FormCreate() override;
    void FormDestroy() override;
    void FlashButtonClick() override;
    void FileListBox1Click() override;
    void FileListBox2Click() override;

private:
    platform::MainWindow& window_;
    platform::Services services_;
};

extern TFlashForm* FlashForm;
