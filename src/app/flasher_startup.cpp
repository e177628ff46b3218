#include "app/flasher_startup.h"

#include <memory>
#include <string>

#include "package/naming.h"
#include "package/self_check.h"
#include "package/unit_texts.h"
#include "platform/text_format.h"

namespace app {

const char* const AnotherFlasherText =
    "Another flasher is running. Only one flasher may run at a time, so that no two of them "
    "write to a drive together.\n\nLet the other one finish, then start this one again.";
const char* const FlasherMutexName = "KXD7316.Flasher";
const char* const ScanWaitFormat = "Waiting for the device at HA#%d - ID#%d to answer...";

namespace {

constexpr unsigned long PlatformNt = 2;
constexpr uint32_t AspiStatusCompleted = 1;

std::string supportedModelLine() {
    return "\nThis flash utility only supports " + texts::ModelName +
           " firmware:" + texts::RevisionRange + "\n";
}

} // namespace

bool libraryLoaded(platform::LibraryHandle handle) {
    return handle >= 32;
}

FlasherStartup::FlasherStartup(const FlasherStartupControls& controls, platform::System& system,
                               platform::Dialogs& dialogs, platform::FileSystem& files,
                               FormDrive& drive, aspi::DriveData& drives,
                               platform::LibraryHandle& aspiLibrary)
    : controls_(controls), system_(system), dialogs_(dialogs), files_(files), drive_(drive),
      drives_(drives), aspiLibrary_(aspiLibrary) {}

void FlasherStartup::run() {
    if (!systemAccepted() || !fileWhole() || !aloneOnMachine() || !userConsents()) {
        end();
        return;
    }
    showFlasherControls();
    setTitle();
    if (!loadAspi()) {
        end();
        return;
    }
    scanDrives();
}

void FlasherStartup::end() {
    system_.postQuit(0);
}

bool FlasherStartup::systemAccepted() {
    if (system_.platformId() != PlatformNt) {
        return true;
    }
    dialogs_.show(platform::BoxKind::Warning, "O.S must be Win9X.", platform::ButtonYes);
    return false;
}

// The images go to the drive from the program's own file: a flasher whose file is not what its
// builder wrote (a bad disk, a broken copy) stops here, before the user is asked anything.
bool FlasherStartup::fileWhole() {
    package::SelfCheck result = package::SelfCheck::Unreadable;
    if (std::unique_ptr<platform::InputFile> file = files_.openRead(system_.modulePath())) {
        result = package::checkExecutable(*file);
        file->close();
    }
    if (const char* refusal = package::refusalOf(result)) {
        dialogs_.notice(refusal);
        return false;
    }
    return true;
}

// Two flashers on one drive would mix their images in its one download buffer; the second one
// to start leaves before it loads ASPI.
bool FlasherStartup::aloneOnMachine() {
    if (system_.takeNamedMutex(FlasherMutexName)) {
        return true;
    }
    dialogs_.notice(AnotherFlasherText);
    return false;
}

bool FlasherStartup::userConsents() {
    const std::string text =
        "\nWARNING:\n" + supportedModelLine() +
        "\nWe recommend you close all applications in order to run this update!\nDon't turn off "
        "the system while the flash is in progress!\n\n\nDo you wish to continue?\n";
    return dialogs_.show(platform::BoxKind::Warning, text,
                         platform::ButtonYes | platform::ButtonNo) == platform::AnswerYes;
}

void FlasherStartup::showFlasherControls() {
    controls_.selectLabel2.setVisible(false);
    controls_.fileListBox1.setVisible(false);
    controls_.fileListBox2.setVisible(false);
    controls_.driveList.setVisible(true);
}

void FlasherStartup::setTitle() {
    controls_.window.setTitle(texts::VersionBanner + texts::ModelName +
                              package::titleSuffix(system_.modulePath()));
}

bool FlasherStartup::loadAspi() {
    aspiLibrary_ = system_.loadLibrary("WNASPI32.DLL");
    if (!libraryLoaded(aspiLibrary_)) {
        dialogs_.notice("Unable to load WNASPI32.DLL");
        return false;
    }
    // The library stays loaded after the failures below; the window's destruction frees it.
    void* getSupportInfo = system_.procAddress(aspiLibrary_, "GetASPI32SupportInfo");
    if (getSupportInfo == nullptr) {
        dialogs_.notice("Failed to lookup GetASPI32SupportInfo");
        return false;
    }
    void* sendCommand = system_.procAddress(aspiLibrary_, "SendASPI32Command");
    if (sendCommand == nullptr) {
        dialogs_.notice("Failed to lookup SendASPI32Command");
        return false;
    }
    drive_.layer().setEntryPoints(getSupportInfo, sendCommand);
    // Bits 8 to 15 are the status; the adapter count below them is not used, since the scan
    // always covers the six fixed slots.
    if (((drive_.layer().supportInfo() >> 8) & 0xFFu) != AspiStatusCompleted) {
        dialogs_.notice("ASPI for Windows not available!");
        return false;
    }
    return true;
}

void FlasherStartup::showScanWait(const aspi::DriveSlot& slot) {
    if (!shownEarly_) {
        shownEarly_ = true;
        system_.setCursor(platform::CursorShape::Hourglass);
        controls_.window.show();
    }
    controls_.statusLine.setCaption(
        platform::formatText(ScanWaitFormat, int{slot.HostAdapter}, int{slot.Target}));
    controls_.statusLine.repaint();
}

void FlasherStartup::scanDrives() {
    platform::ComboBox& list = controls_.driveList;
    list.setItemIndex(-1);
    // The window normally opens once the scan is done; a device that does not answer at once
    // has it shown early, so that the user sees the program at work rather than nothing.
    int scanning = 0;
    drive_.layer().onSlowRequest(ScanPatienceMs,
                                 [this, &scanning] { showScanWait(drives_.SlotTable[scanning]); });
    for (int slot = 0; slot < aspi::DriveSlotCount; ++slot) {
        scanning = slot;
        if (drive_.CheckInquiry(&drives_.SlotTable[slot]) != 1) {
            continue;
        }
        list.addItem(drives_.SlotTable[slot].Description);
        const int index = list.itemIndex() + 1;
        list.setItemIndex(index);
        drives_.ListMap[index] = slot;
    }
    drive_.layer().onSlowRequest(0, nullptr);
    if (shownEarly_) {
        controls_.statusLine.setCaption("");
        controls_.statusLine.repaint();
        system_.setCursor(platform::CursorShape::Default);
    }
    if (list.itemIndex() == -1) {
        reportNothingFound();
        end();
        return;
    }
    list.setItemIndex(0);
}

void FlasherStartup::reportNothingFound() {
    std::string text = "\nERROR:\n\nCan't found " + texts::ModelName +
                       "firmware:" + texts::RevisionRange + " drive !\n" + supportedModelLine() +
                       "\nDetected drives:\n" + std::string(59, '-') + "\n";
    for (const aspi::DriveSlot& slot : drives_.SlotTable) {
        if (slot.Description[0] != '\0') {
            text += slot.Description;
            text += '\n';
        }
    }
    dialogs_.show(platform::BoxKind::Error, text, platform::ButtonOk);
}

} // namespace app
