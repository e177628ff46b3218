// Flasher mode's start-up: refuse the NT family, make sure the flasher's own file is whole and
// that no other flasher runs, warn and ask, title the window from the program's own name, load
// ASPI, and list the supported drives of the six drive slots.
#pragma once

#include "app/form_drive.h"
#include "aspi/drive_commands.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/system.h"

namespace app {

struct FlasherStartupControls {
    platform::MainWindow& window;
    platform::Label& selectLabel2;
    platform::FileList& fileListBox1;
    platform::FileList& fileListBox2;
    platform::ComboBox& driveList;
    platform::Frame& statusLine;
};

// What a second flasher tells while one runs, and the name of the system-wide mutex that the
// running one holds.
extern const char* const AnotherFlasherText;
extern const char* const FlasherMutexName;
// The status line while the scan waits for a device that has not answered at once (a format
// with the host adapter and the target).
extern const char* const ScanWaitFormat;

// A library handle as the loader reports it: failure below 32, read as a signed number of the
// pointer's width (32 bits in the Windows 9x build).
bool libraryLoaded(platform::LibraryHandle handle);

class FlasherStartup {
public:
    // How long the scan waits for a device's answer before it shows the window: a device
    // answers INQUIRY in milliseconds, and one that hangs holds the scan up to three minutes.
    static constexpr unsigned long ScanPatienceMs = 1000;

    // `drive` is the window's side of the drive: its ASPI layer takes the entry points, and its
    // CheckInquiry scans the slots.
    // `files` reads the program's own file for its self-check.
    FlasherStartup(const FlasherStartupControls& controls, platform::System& system,
                   platform::Dialogs& dialogs, platform::FileSystem& files, FormDrive& drive,
                   aspi::DriveData& drives, platform::LibraryHandle& aspiLibrary);

    // Runs the steps in order; the first failure shows its message and posts the quit request.
    void run();

private:
    bool systemAccepted();
    bool fileWhole();
    bool aloneOnMachine();
    bool userConsents();
    void showFlasherControls();
    void setTitle();
    bool loadAspi();
    void scanDrives();
    // The window shown early, under the hourglass, naming the slot the scan waits for.
    void showScanWait(const aspi::DriveSlot& slot);
    void reportNothingFound();
    void end();

    FlasherStartupControls controls_;
    platform::System& system_;
    platform::Dialogs& dialogs_;
    platform::FileSystem& files_;
    FormDrive& drive_;
    aspi::DriveData& drives_;
    platform::LibraryHandle& aspiLibrary_;
    bool shownEarly_ = false;
};

} // namespace app
