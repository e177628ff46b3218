#include "update/flash_procedure.h"

#include <cstring>

#include "package/firmware_area.h"
#include "package/naming.h"
#include "platform/text_format.h"

namespace update {

const char* const NoDriveSelectedText = "No drive is selected. Choose the drive in the list first.";
const char* const NoTargetRevisionText =
    "The flasher's file name is too short to tell the new firmware revision.";
const char* const NoBlockBufferText = "Not enough memory to flash the drive.";

namespace {

constexpr std::size_t RevisionOffset = 39;
constexpr std::size_t RevisionLength = 4;

const char* const InProgressText = "Don't turn off the system, Flash is in progress...";
const char* const CompletedText = "Flash Completed.";
const char* const FailedText = "Flash Fail.";

const char* const WarningFormat =
    "\nWARNING:\n\nCurrent FW:%s is newer than FW:%s.\n\nContinue update FW:%s to FW:%s ?\n";
const char* const QuestionFormat = "\nUpdate FW:%s to FW:%s ?\n";
const char* const RebootQuestion =
    "\nYou have successfully completed\ninstallation! The new changes will not take effect\n"
    "until you reboot your system. Do you want to\nreboot your system now?\n\n";

// ExitWindowsEx: restart, closing other programs without asking them.
constexpr unsigned RestartFlags = 2u /* reboot */ | 4u /* force */;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The block buffer, released exactly once whichever way the flash ends (a thrown failure
// included). It comes from the ASPI layer, which keeps it for as long as a request that timed
// out may still touch it, even after it has been released here.
class BlockBuffer {
public:
    BlockBuffer(aspi::Layer& layer, uint8_t* data) : layer_(layer), data_(data) {}
    ~BlockBuffer() { release(); }
    BlockBuffer(const BlockBuffer&) = delete;
    BlockBuffer& operator=(const BlockBuffer&) = delete;

    uint8_t* data() const { return data_; }
    void release() {
        if (data_ != nullptr) {
            layer_.releaseBuffer(data_);
            data_ = nullptr;
        }
    }

private:
    aspi::Layer& layer_;
    uint8_t* data_;
};

} // namespace

std::string withUpperFourth(const std::string& revision) {
    std::string out = revision;
    if (out.size() >= RevisionLength && out[3] >= 'a' && out[3] <= 'z') {
        out[3] = static_cast<char>(out[3] - 'a' + 'A');
    }
    return out;
}

std::string currentRevision(const aspi::DriveSlot& slot) {
    const char* text = slot.Description;
    // Never read past the text's end: a text that stops before the revision gives none.
    const void* nul = std::memchr(text, '\0', sizeof slot.Description);
    const std::size_t length = nul != nullptr
                                   ? static_cast<std::size_t>(static_cast<const char*>(nul) - text)
                                   : sizeof slot.Description;
    if (length <= RevisionOffset) {
        return std::string();
    }
    const std::size_t count =
        length - RevisionOffset < RevisionLength ? length - RevisionOffset : RevisionLength;
    return withUpperFourth(std::string(text + RevisionOffset, count));
}

int compareRevisions(const std::string& current, const std::string& target) {
    // Position by position up to the first difference or the end of the shorter text, where
    // the end (the NUL) sorts below every character.
    for (std::size_t i = 0;; ++i) {
        const unsigned a = i < current.size() ? static_cast<unsigned char>(current[i]) : 0u;
        const unsigned b = i < target.size() ? static_cast<unsigned char>(target[i]) : 0u;
        if (a != b) {
            return a < b ? -1 : 1;
        }
        if (a == 0) {
            return 0;
        }
    }
}

FlashProcedure::FlashProcedure(FlashWindow& window, aspi::Layer& layer, aspi::DriveData& drives,
                               platform::System& system, platform::Dialogs& dialogs)
    : window_(window), layer_(layer), drives_(drives), system_(system), dialogs_(dialogs) {}

uint8_t* FlashProcedure::obtainBlockBuffer(std::size_t bytes) {
    return layer_.allocateBuffer(bytes);
}

void FlashProcedure::run() {
    // Typing into the drive list leaves no item current, and then there is no drive to talk
    // to: say so and leave everything as it is.
    const aspi::DriveSlot* slot = window_.selectedSlot();
    if (slot == nullptr) {
        dialogs_.notice(NoDriveSelectedText);
        return;
    }

    // The revision the drive reported to the start-up scan.
    const std::string current = currentRevision(*slot);
    const char edition = current.size() > 2 ? current[2] : '\0';
    if (!isDigit(edition)) {
        dialogs_.notice("Nonsupport KV90~KVZZ drive !");
        system_.postQuit(0);
        return;
    }

    // The image by the drive's edition, and the revision it carries from the flasher's name.
    const bool zolk = package::editionFor(edition) == package::Edition::ZolK;
    const uint8_t* image = zolk ? package::zolkImage() : package::nonZolkImage();
    const std::string modulePath = system_.modulePath();
    const std::string target = withUpperFourth(zolk ? package::zolkTargetRevision(modulePath)
                                                    : package::nonZolkTargetRevision(modulePath));
    if (target.empty()) {
        // Without a name tail nothing says which revision the images carry, so the run cannot
        // ask a truthful question.
        dialogs_.notice(NoTargetRevisionText);
        return;
    }

    if (!ask(current, target)) {
        return;
    }

    {
        // From the first command on the program is busy with the drive, also while it waits
        // for it to answer.
        const platform::HourglassCursor hourglass(system_);
        if (!prepareDrive() || !flash(image)) {
            return;
        }
    }
    if (dialogs_.show(platform::BoxKind::Confirm, RebootQuestion,
                      platform::ButtonYes | platform::ButtonNo) != platform::AnswerYes) {
        return;
    }
    // A refused restart leaves the window as a run that has not begun: the bar at 0, the
    // default cursor.
    system_.exitWindows(RestartFlags, 0);
    window_.rewind();
    system_.setCursor(platform::CursorShape::Default);
}

bool FlashProcedure::prepareDrive() {
    // Load and stop, whatever they report; the readiness polls are the real check. A drive
    // that does not answer at all is another matter: nothing more goes to it.
    for (const uint8_t value : {uint8_t{3}, uint8_t{0}}) {
        window_.StartStopUnit(window_.selectedSlot(), value);
        if (window_.commandTimedOut()) {
            return false;
        }
    }
    return waitUntilReady();
}

bool FlashProcedure::flash(const uint8_t* image) {
    // Transfer set-up: the window's transfer state carries the block offset and length for the
    // drive commands.
    window_.setTransferRange(static_cast<int32_t>(package::ImageSize), BlockLength);
    BlockBuffer buffer(layer_, obtainBlockBuffer(static_cast<std::size_t>(window_.blockLength())));
    if (buffer.data() == nullptr) {
        dialogs_.notice(NoBlockBufferText);
        return false;
    }
    const bool completed = transfer(image, buffer.data());
    if (!completed) {
        window_.rewind();
    }
    buffer.release();
    if (completed) {
        window_.showStatus(CompletedText);
    }
    return completed;
}

bool FlashProcedure::transfer(const uint8_t* image, uint8_t* buffer) {
    window_.showStatus(InProgressText);
    window_.rewind();
    if (!writeImage(image, buffer) || !verifyImage(image, buffer)) {
        return false;
    }
    // The commit request carries offset 0 and length 1: the first byte of the last block read.
    window_.rewind();
    window_.setTransferRange(CommitRange, 1);
    if (window_.WriteBuffer(window_.selectedSlot(), buffer, scsi::CommitControl) == 0) {
        window_.showStatus(FailedText);
        return false;
    }
    return true;
}

bool FlashProcedure::ask(const std::string& current, const std::string& target) {
    std::string text;
    platform::BoxKind kind;
    if (compareRevisions(current, target) > 0) {
        kind = platform::BoxKind::Warning;
        text = platform::formatText(WarningFormat, current.c_str(), target.c_str(), current.c_str(),
                                    target.c_str());
    } else {
        kind = platform::BoxKind::Confirm;
        text = platform::formatText(QuestionFormat, current.c_str(), target.c_str());
    }
    return dialogs_.show(kind, text, platform::ButtonYes | platform::ButtonNo) ==
           platform::AnswerYes;
}

bool FlashProcedure::waitUntilReady() {
    // XCmd sets the counter to 1 when it has asked for the disc to be removed, so that the
    // count-down below ends with that poll.
    drives_.ReadyWaitCounter = ReadyPolls;
    while (drives_.ReadyWaitCounter != 0) {
        if (window_.XCmd(window_.selectedSlot()) == 1) {
            break;
        }
        system_.sleep(PollIntervalMs);
        --drives_.ReadyWaitCounter;
    }
    return drives_.ReadyWaitCounter != 0;
}

// The bytes of the image that the block at `offset` covers; the transfer range is the image's,
// so this is the block length everywhere, but nothing outside the image is ever read.
std::size_t FlashProcedure::blockBytes(std::size_t offset) const {
    const auto block = static_cast<std::size_t>(window_.blockLength());
    const std::size_t image = package::ImageSize;
    return offset >= image ? 0 : block < image - offset ? block : image - offset;
}

bool FlashProcedure::writeImage(const uint8_t* image, uint8_t* buffer) {
    while (!window_.transferEnded()) {
        const auto offset = static_cast<std::size_t>(window_.transferOffset());
        std::memcpy(buffer, image + offset, blockBytes(offset));
        if (window_.WriteBuffer(window_.selectedSlot(), buffer, 0x00) == 0) {
            return false; // the command has told the user
        }
        window_.nextBlock();
    }
    return true;
}

bool FlashProcedure::verifyImage(const uint8_t* image, uint8_t* buffer) {
    window_.rewind();
    while (!window_.transferEnded()) {
        if (window_.ReadBuffer(window_.selectedSlot(), buffer) == 0) {
            return false; // the command has told the user
        }
        const auto offset = static_cast<std::size_t>(window_.transferOffset());
        if (std::memcmp(image + offset, buffer, blockBytes(offset)) != 0) {
            dialogs_.notice("Verify fail!");
            return false;
        }
        window_.nextBlock();
    }
    return true;
}

} // namespace update
