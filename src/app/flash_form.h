// The main window: its controls by name (FormControls), the ASPI library handle and the
// handlers. Each handler is a thin call into the subsystem that does the work; the drive
// commands CheckInquiry, XCmd, StartStopUnit, WriteBuffer and ReadBuffer are the window's side
// of the drive (FormDrive), which the flasher start-up and the flash procedure drive.
#pragma once

#include <cstdint>

#include "app/builder_window.h"
#include "app/flasher_startup.h"
#include "app/form_drive.h"
#include "app/main_form.h"
#include "app/process_state.h"
#include "aspi/drive_commands.h"
#include "platform/form.h"
#include "update/flash_procedure.h"

class TFlashForm : public app::MainFormEvents, public app::FormControls, public app::FormDrive {
public:
    // `state` outlives the window; it takes the window's address while the window exists.
    TFlashForm(const app::FormControls& controls, const platform::Services& services,
               app::ProcessState& state);
    ~TFlashForm() override;
    TFlashForm(const TFlashForm&) = delete;
    TFlashForm& operator=(const TFlashForm&) = delete;

    // Module handle of the loaded ASPI library, compared as a signed number: 32 bits wide in
    // the Windows 9x build, pointer-wide in the 64-bit one so that no handle is cut short.
    platform::LibraryHandle AspiLibrary = 0;

    void FormCreate() override;
    void FormDestroy() override;
    void FlashButtonClick() override;
    bool NewBuildFlashProgram();
    void FileListBox1Click() override;
    void FileListBox2Click() override;

private:
    platform::Services services_;
    app::ProcessState& state_;
    // A flash or a build runs (its boxes' own message loops may deliver another press).
    bool running_ = false;
    app::FlasherStartup startup_;
    app::BuilderWindow builder_;
    update::FlashProcedure flash_;
};
