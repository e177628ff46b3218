// File access over the ANSI Win32 API as Windows 95/98 have it (no MoveFileEx, no wide calls).
#pragma once

#include "platform/files.h"

namespace platform::win32 {

class Win32FileSystem : public FileSystem {
public:
    std::unique_ptr<InputFile> openRead(const std::string& path) override;
    std::unique_ptr<OutputFile> create(const std::string& path) override;
    Entry entry(const std::string& path) override;
    bool canTake(const std::string& path) override;
    char currentDrive() override;
    std::string currentDirectory() override;
    std::string makeTempFile() override;
    bool rename(const std::string& from, const std::string& to) override;
    bool remove(const std::string& path) override;
};

} // namespace platform::win32
