// File access over POSIX for the command-line program on Linux. Names are POSIX paths; there is
// no drive letter. A file without write permission for the program counts as read-only.
#pragma once

#include "platform/files.h"

namespace platform::posix {

class PosixFileSystem : public FileSystem {
public:
    std::unique_ptr<InputFile> openRead(const std::string& path) override;
    std::unique_ptr<OutputFile> create(const std::string& path) override;
    Entry entry(const std::string& path) override;
    bool canTake(const std::string& path) override;
    char currentDrive() override { return '\0'; }
    std::string currentDirectory() override;
    std::string makeTempFile() override;
    bool rename(const std::string& from, const std::string& to) override;
    bool remove(const std::string& path) override;
};

} // namespace platform::posix
