// The main window's side of the drive: the ASPI layer and the drive commands, and the five
// commands as the window gives them. The drive is the drive list's current item, and the
// progress bar is the transfer state: the data commands read their offset from its position and
// their length from its step, and the commit request's seconds run on it. The status line is
// the frame's caption.
#pragma once

#include <cstdint>
#include <string>

#include "aspi/aspi_layer.h"
#include "aspi/drive_commands.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/system.h"
#include "update/flash_window.h"

namespace app {

class FormDrive : public update::FlashWindow {
public:
    FormDrive(platform::System& system, platform::Dialogs& dialogs,
              platform::ProgressBar& progressBar, platform::ComboBox& driveList,
              platform::Frame& statusLine, aspi::DriveData& drives);
    FormDrive(const FormDrive&) = delete;
    FormDrive& operator=(const FormDrive&) = delete;

    aspi::Layer& layer() { return layer_; }

    // The slot named by the drive list map at the drive list's current item; null when there is
    // no current item (index -1) or the index or its map entry is out of range.
    aspi::DriveSlot* selectedSlot() override;

    int CheckInquiry(aspi::DriveSlot* slot);
    int XCmd(aspi::DriveSlot* slot) override;
    int StartStopUnit(aspi::DriveSlot* slot, uint8_t value) override;
    int WriteBuffer(aspi::DriveSlot* slot, const void* data, uint8_t control) override;
    int ReadBuffer(aspi::DriveSlot* slot, void* buffer) override;
    bool commandTimedOut() const override { return commands_.timedOut(); }
    // A flash command's request was left with ASPI unanswered: the drive may still hold it, and
    // nothing more may go to it in this run of the program.
    bool driveStoppedAnswering() const { return stoppedAnswering_; }

    void setTransferRange(int32_t length, int32_t block) override;
    int32_t blockLength() const override;
    int32_t transferOffset() const override;
    bool transferEnded() const override;
    void nextBlock() override;
    void rewind() override;
    void showStatus(const std::string& text) override;

private:
    // The commit request's seconds on the bar: step 1 over the limit from 0, a step a second,
    // and filled when the request ends early.
    void showClock(aspi::Clock event, int seconds);
    // Notes a flash command's outcome; returns its result.
    int noted(int result);

    aspi::Layer layer_;
    aspi::DriveCommands commands_;
    platform::ProgressBar& bar_;
    platform::ComboBox& driveList_;
    platform::Frame& statusLine_;
    aspi::DriveData& drives_;
    bool stoppedAnswering_ = false;
};

} // namespace app
