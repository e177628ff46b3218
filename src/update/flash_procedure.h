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

// The images a run writes and the file name that tells the revisions they carry (its name
// tail). A flasher flashes from its own package area and module path; another program names a
// flasher file it has read.
struct FlasherImages {
    const uint8_t* zolk = nullptr;
    const uint8_t* nonZolk = nullptr;
    std::string path;
};

// How a run ended.
enum class Outcome {
    NoDrive,          // no drive selected: nothing sent
    NotSupported,     // the drive's revision is not handled: nothing sent, quit requested
    NoTargetRevision, // the flasher's name tells no revision: nothing sent
    Declined,         // the question was not answered Yes: nothing sent
    NotReady,         // the drive did not become ready (a disc, no answer): nothing written
    NoBuffer,         // no memory for the block buffer: nothing written
    DriveFailed,      // a block was not written or not read back: no commit request
    VerifyFailed,     // a block read back differs from the image: no commit request
    CommitFailed,     // the commit request failed or timed out
    Completed,        // the drive has taken the new firmware
};

class FlashProcedure {
public:
    // `window` names the drive, runs its commands, keeps the transfer state and shows the
    // status line; `layer` lends the block buffer. The images are the program's own.
    FlashProcedure(FlashWindow& window, aspi::Layer& layer, aspi::DriveData& drives,
                   platform::System& system, platform::Dialogs& dialogs);
    // The same with the images of a flasher file.
    FlashProcedure(FlashWindow& window, aspi::Layer& layer, aspi::DriveData& drives,
                   platform::System& system, platform::Dialogs& dialogs,
                   const FlasherImages& images);
    virtual ~FlashProcedure() = default;
    FlashProcedure(const FlashProcedure&) = delete;
    FlashProcedure& operator=(const FlashProcedure&) = delete;

    // One press of the button in flasher mode: revision check, choice of image, the question,
    // drive preparation, write, verify, commit, the result and the restart offer. Every message
    // has been shown and closed when it returns.
    Outcome run();

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
    // After a completed flash: the restart question, and the restart when it is answered Yes.
    virtual void offerRestart();

private:
    FlasherImages images() const;
    bool ask(const std::string& current, const std::string& target);
    // Load and stop, then the readiness polls; false when the drive is not ready (or did not
    // answer), which the commands have told.
    bool prepareDrive();
    bool waitUntilReady();
    // The transfer set-up, the transfer, then the buffer released and the outcome on the status
    // line (a failure also puts the bar back to 0). A failure has been told by the command or
    // the check.
    Outcome flash(const uint8_t* image);
    // The status line, the write, the verify and the commit.
    Outcome transfer(const uint8_t* image, uint8_t* buffer);
    bool writeImage(const uint8_t* image, uint8_t* buffer);
    // Completed when every block read back equals the image.
    Outcome verifyImage(const uint8_t* image, uint8_t* buffer);
    std::size_t blockBytes(std::size_t offset) const;

    FlashWindow& window_;
    aspi::Layer& layer_;
    aspi::DriveData& drives_;
    platform::System& system_;
    platform::Dialogs& dialogs_;
    bool ownImages_;
    FlasherImages images_;
};

} // namespace update
