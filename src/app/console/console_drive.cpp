#include "app/console/console_drive.h"

#include <cstring>

namespace console {

ConsoleDrive::ConsoleDrive(app::FormDrive& drive, aspi::DriveData& drives, TerminalBar& bar,
                           platform::Dialogs& dialogs)
    : drive_(drive), drives_(drives), bar_(bar), dialogs_(dialogs) {}

bool ConsoleDrive::stopHere() {
    if (platform::interruptions() == 0) {
        return false;
    }
    if (!interrupted_) {
        interrupted_ = true;
        dialogs_.notice(blocks_ == 0
                            ? "Interrupted: nothing was written; the drive keeps its firmware."
                            : "Interrupted after the block in hand: no commit request was sent, "
                              "and the drive keeps its old firmware.");
    }
    return true;
}

void ConsoleDrive::work(const char* name) {
    if (std::strcmp(work_, name) != 0) {
        work_ = name;
        bar_.setWork(name);
    }
}

int ConsoleDrive::StartStopUnit(aspi::DriveSlot* slot, uint8_t value) {
    return stopHere() ? 0 : drive_.StartStopUnit(slot, value);
}

int ConsoleDrive::XCmd(aspi::DriveSlot* slot) {
    if (stopHere()) {
        drives_.ReadyWaitCounter = 1; // the procedure's next count-down ends its polling
        return 0;
    }
    return drive_.XCmd(slot);
}

int ConsoleDrive::WriteBuffer(aspi::DriveSlot* slot, const void* data, uint8_t control) {
    if (control == 0) {
        if (stopHere()) {
            return 0;
        }
        work("writing");
        ++blocks_;
        return drive_.WriteBuffer(slot, data, control);
    }
    if (stopHere()) {
        return 0;
    }
    // From here on the drive replaces its firmware: nothing may break that off.
    work("committing");
    platform::setInterruptRule(platform::InterruptRule::Refuse);
    const int result = drive_.WriteBuffer(slot, data, control);
    platform::setInterruptRule(platform::InterruptRule::Note);
    bar_.finishLine();
    return result;
}

int ConsoleDrive::ReadBuffer(aspi::DriveSlot* slot, void* buffer) {
    if (stopHere()) {
        return 0;
    }
    work("verifying");
    return drive_.ReadBuffer(slot, buffer);
}

void ConsoleDrive::setTransferRange(int32_t length, int32_t block) {
    drive_.setTransferRange(length, block);
}

} // namespace console
