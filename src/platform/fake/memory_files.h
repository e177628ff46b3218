// Files held in memory, for logic that only reads them (a flasher's check of its own file):
// each path names its bytes; a file opens as long as its path is there and reads them in order.
// Nothing is created, renamed or removed. Counts the files open.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/files.h"

namespace platform::fake {

class MemoryFiles : public FileSystem {
public:
    std::map<std::string, std::vector<unsigned char>> files;
    int openFiles() const { return openFiles_; }

    std::unique_ptr<InputFile> openRead(const std::string& path) override;
    std::unique_ptr<OutputFile> create(const std::string&) override { return nullptr; }
    Entry entry(const std::string& path) override {
        return files.count(path) != 0 ? Entry::File : Entry::None;
    }
    bool canTake(const std::string&) override { return false; }
    char currentDrive() override { return 'C'; }
    std::string currentDirectory() override { return "\\"; }
    std::string makeTempFile() override { return std::string(); }
    bool rename(const std::string&, const std::string&) override { return false; }
    bool remove(const std::string&) override { return false; }

private:
    int openFiles_ = 0;
};

} // namespace platform::fake
