// The main window as the flash procedure drives it: the drive it names, the four drive
// commands of a flash, the transfer state and the status line. The window keeps the transfer
// state in its progress bar: the data commands take their offset from the bar's position and
// their length from its step, and the commit request counts its seconds on it.
#pragma once

#include <cstdint>
#include <string>

#include "aspi/drive_commands.h"

namespace update {

class FlashWindow {
public:
    virtual ~FlashWindow() = default;

    // The drive slot of the drive list's current item; null when there is none. Read anew for
    // every command.
    virtual aspi::DriveSlot* selectedSlot() = 0;

    virtual int StartStopUnit(aspi::DriveSlot* slot, uint8_t value) = 0;
    virtual int XCmd(aspi::DriveSlot* slot) = 0;
    // The block at the transfer state's offset, of its length; with a control byte other than 0
    // the commit request, whose seconds the transfer state then shows.
    virtual int WriteBuffer(aspi::DriveSlot* slot, const void* data, uint8_t control) = 0;
    virtual int ReadBuffer(aspi::DriveSlot* slot, void* buffer) = 0;
    // The last command's request was not answered in its time; the command has told the user.
    virtual bool commandTimedOut() const = 0;

    // The transfer state: a range from 0 to `length` in steps of `block`; the offset stays.
    virtual void setTransferRange(int32_t length, int32_t block) = 0;
    virtual int32_t blockLength() const = 0;
    virtual int32_t transferOffset() const = 0;
    // The offset has reached the end of the range.
    virtual bool transferEnded() const = 0;
    // The offset moves on by one block.
    virtual void nextBlock() = 0;
    // The offset goes back to 0.
    virtual void rewind() = 0;

    // The status line, painted at once: the window's thread is busy until the run ends.
    virtual void showStatus(const std::string& text) = 0;
};

} // namespace update
