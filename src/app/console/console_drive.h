// The drive as the command-line flasher drives it: the window's side of the drive (the flash
// procedure's commands, the transfer state on the bar, the status line) with what a console adds
// around each command: an interruption stops the run at the next command that may be left out
// (never inside the commit), and the bar is told which work it counts.
#pragma once

#include "app/console/terminal.h"
#include "app/form_drive.h"
#include "platform/console.h"

namespace console {

class ConsoleDrive : public update::FlashWindow {
public:
    ConsoleDrive(app::FormDrive& drive, aspi::DriveData& drives, TerminalBar& bar,
                 platform::Dialogs& dialogs);

    // A command was left out for an interruption; `written` says whether blocks had been
    // written before.
    bool interrupted() const { return interrupted_; }
    bool wroteBlocks() const { return blocks_ > 0; }

    aspi::DriveSlot* selectedSlot() override { return drive_.selectedSlot(); }
    int StartStopUnit(aspi::DriveSlot* slot, uint8_t value) override;
    int XCmd(aspi::DriveSlot* slot) override;
    int WriteBuffer(aspi::DriveSlot* slot, const void* data, uint8_t control) override;
    int ReadBuffer(aspi::DriveSlot* slot, void* buffer) override;
    bool commandTimedOut() const override { return drive_.commandTimedOut(); }
    void setTransferRange(int32_t length, int32_t block) override;
    int32_t blockLength() const override { return drive_.blockLength(); }
    int32_t transferOffset() const override { return drive_.transferOffset(); }
    bool transferEnded() const override { return drive_.transferEnded(); }
    void nextBlock() override { drive_.nextBlock(); }
    void rewind() override { drive_.rewind(); }
    void showStatus(const std::string& text) override { drive_.showStatus(text); }

private:
    // True when an interruption came: the command is not sent and the user is told once.
    bool stopHere();
    void work(const char* name);

    app::FormDrive& drive_;
    aspi::DriveData& drives_;
    TerminalBar& bar_;
    platform::Dialogs& dialogs_;
    bool interrupted_ = false;
    int blocks_ = 0;
    const char* work_ = "";
};

} // namespace console
