// What the program keeps for as long as it runs, in one object that the entry routine makes
// before the main window and releases after it: the mode flag, the main window, the drive data
// and the builder's chosen names.
#pragma once

#include <cstdint>

#include "app/builder_window.h"
#include "aspi/drive_commands.h"

class TFlashForm;

namespace app {

struct ProcessState {
    // 1 = builder mode (the program is a template), 0 = flasher mode; 0 when the program is
    // loaded, set once by FormCreate.
    uint8_t ModeFlag = 0;
    // The main window while it exists.
    TFlashForm* FlashForm = nullptr;
    // The drive slot table, the drive list map and the readiness counter.
    aspi::DriveData Drives;
    // Empty when the program starts and kept between builds.
    BuilderNames Builder;
};

} // namespace app
