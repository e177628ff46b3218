// The flasher's button: brings the drive in the selected slot from its present firmware to the
// matching image of the program's own package area, and offers to restart the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "aspi/aspi_layer.h"
#include "aspi/drive_commands.h"
#include "platform/dialogs.h"
#include "platform/system.h"
#include "update/flash_window.h"

namespace update {

// What a flasher tells when it cannot start a flash for reasons of its own.
extern const char* const NoDriveSelectedText;
extern const char* const NoTargetRevisionText;
extern const char* const NoBlockBufferText;

// The four revision characters of a drive slot's description text (characters 39 to 42; fewer
// when the text ends earlier), with the fourth one upper-cased.
std::string currentRevision(const aspi::DriveSlot& slot);
// Upper-cases the fourth character ("a" to "z" only); the first three are never changed.
std::string withUpperFourth(const std::string& revision);
// Compares as strings of unsigned bytes, as the drive's revision is compared with the image's.
int compareRevisions(const std::string& current, const std::string& target);

class FlashProcedure {
public:
    // `window` names the drive, runs its commands, keeps the transfer state and shows the
    // status line; `layer` lends the block buffer.
    FlashProcedure(FlashWindow& window, aspi::Layer& layer, aspi::DriveData& drives,
                   platform::System& system, platform::Dialogs& dialogs);
    virtual ~FlashProcedure() = default;
    FlashProcedure(const FlashProcedure&) = delete;
    FlashProcedure& operator=(const FlashProcedure&) = delete;

    // One press of the button in flasher mode: revision check, choice of image, the question,
    // drive preparation, write, verify, commit, the result and the restart offer. Every message
    // has been shown and closed when it returns.
    void run();

    // The block length of a transfer (of the image, package::ImageSize bytes), and the commit
    // request's range.
    static constexpr int32_t BlockLength = 16384;
    static constexpr int32_t CommitRange = 40;
    static constexpr uint8_t ReadyPolls = 144;
    static constexpr unsigned long PollIntervalMs = 30;

protected:
    // The block buffer for a transfer; null when there is no memory for it. Tests replace it to
    // see a run without one.
    virtual uint8_t* obtainBlockBuffer(std::size_t bytes);

private:
    bool ask(const std::string& current, const std::string& target);
    // Load and stop, then the readiness polls; false when the drive is not ready (or did not
    // answer), which the commands have told.
    bool prepareDrive();
    bool waitUntilReady();
    // The transfer set-up, the transfer, then the buffer released and the outcome on the status
    // line (a failure also puts the bar back to 0). False after a failure, which the command or
    // the check has told.
    bool flash(const uint8_t* image);
    // The status line, the write, the verify and the commit.
    bool transfer(const uint8_t* image, uint8_t* buffer);
    bool writeImage(const uint8_t* image, uint8_t* buffer);
    bool verifyImage(const uint8_t* image, uint8_t* buffer);
    std::size_t blockBytes(std::size_t offset) const;

    FlashWindow& window_;
    aspi::Layer& layer_;
    aspi::DriveData& drives_;
    platform::System& system_;
    platform::Dialogs& dialogs_;
};

} // namespace update
