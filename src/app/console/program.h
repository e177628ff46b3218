// The command-line flasher's entry: the command line, --help and --version, and the command,
// over whatever the platform gives it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/console/commands.h"

namespace console {

// Makes the drives for scan and flash: the system's, or the simulated ones with --simulate.
// Null when there are none to be had; `exit` and a message on the console then say why.
using DriveMaker = std::function<std::unique_ptr<DriveSource>(const Options& options, Exit& exit)>;

int runProgram(const std::vector<std::string>& arguments, platform::Console& console,
               platform::FileSystem& files, const DriveMaker& makeDrives);

extern const char* const HelpText;

} // namespace console
