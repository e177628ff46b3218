// The command-line flasher's exit statuses: one number for each kind of ending, so that a
// script can tell what happened without reading the messages (the manual page lists them).
#pragma once

namespace console {

enum Exit : int {
    ExitOk = 0,
    ExitUsage = 1,          // the command line, or a file that is not what the command takes
    ExitNoDevice = 2,       // no such device, no supported drive, or more than one to choose from
    ExitPermission = 3,     // the system refused access to the device or the command
    ExitNotSupported = 4,   // the drive or its firmware revision is not one this flasher handles
    ExitDeclined = 5,       // the user did not answer Yes
    ExitDriveError = 6,     // a command failed, a disc is in the drive, the drive is not ready
    ExitVerifyMismatch = 7, // a block read back differs from the image
    ExitTimeout = 8,        // the drive did not answer in time
    ExitInterrupted = 9,    // stopped by Ctrl-C or a signal before anything could harm the drive
    ExitBusy = 10,          // another run holds the drive
    ExitFileError = 11,     // a file could not be read or written, or a flasher is damaged
};

} // namespace console
