// The drives a command of the command-line flasher talks to, however they are reached: the
// system's SCSI devices through the bridge inside the program (SG_IO on Linux, SCSI pass-through
// on Windows), or the simulated drive. Each drive has a place (host adapter and target) where
// the drive commands address it through the ASPI entry points the source hands out.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/console/exit_status.h"
#include "aspi/aspi_layer.h"
#include "aspi/drive_commands.h"
#include "platform/system.h"

namespace console {

struct DriveEntry {
    std::string name;   // how the user names it: /dev/sg1, D:, 0:1
    std::string others; // other names of the same device, for the listing
    // Why it could not be opened (empty when it was), and the exit status that goes with it.
    std::string refusal;
    Exit refusalExit = ExitOk;
    aspi::DriveSlot slot{}; // its place; the description once it has answered INQUIRY
};

class DriveSource {
public:
    virtual ~DriveSource() = default;

    virtual std::vector<DriveEntry>& entries() = 0;
    // The system whose time the drive commands and their waits run on.
    virtual platform::System& system() = 0;
    // Gives the layer the entry points.
    virtual void connect(aspi::Layer& layer) = 0;
    // Whether `name`, as the user gave it, names the drive.
    virtual bool names(const DriveEntry& entry, const std::string& name) {
        return entry.name == name;
    }
    // Whether a flash may go through the drive; false with the reason and the exit status.
    virtual bool mayFlash(const DriveEntry&, std::string&, Exit&) { return true; }
    // The name of the drive's one-run lock; empty where two runs cannot meet.
    virtual std::string lockName(const DriveEntry&) { return std::string(); }
    // Ends the session (the recording among it): what is still under way is left to the
    // system. False, with a message that says why, when the session did not end well: the
    // recording could not be written, or a replayed session was not followed.
    virtual bool finish() { return true; }
    // No request is under way. A source that is not idle when the program ends is left as it
    // is: a device that stopped answering still has its request, and the system ends it.
    virtual bool idle() { return true; }
};

} // namespace console
