// The command line: a command, its operands and the options.
#pragma once

#include <string>
#include <vector>

namespace console {

struct Options {
    std::string command; // scan, info, flash, build
    std::vector<std::string> operands;
    bool yes = false;        // answers the update question
    bool allowOlder = false; // answers the warning before older firmware
    bool verbose = false;    // every command and its outcome on the standard error
    bool help = false;
    bool version = false;
    std::string record;    // the recording's text file
    std::string simulate;  // a scenario file for the simulated drive
    std::string directory; // build: where the flasher goes
};

// False, with the reason in `error`, when the command line is not one of the program's.
bool parseOptions(const std::vector<std::string>& arguments, Options& options, std::string& error);

extern const char* const UsageText;

} // namespace console
