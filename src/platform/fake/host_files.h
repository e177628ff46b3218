// Host double of the file system: real files below a temporary directory on Linux, seen
// through Windows-style paths on one drive, with what Windows does that Linux does not (files
// without write permission are read-only: they are not created over or removed, even by root;
// files held open by another program), faults that tests switch on (a disk that fills up, a
// short read, a failing close, create, rename or remove, a machine that stops at some step and
// loses what was not on the disk) and a count of open files.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"

namespace platform::fake {

// Whether a file name matches one pattern the way the Win32 directory search does it:
// letters compared without case; '?' matches one character, or none where the name reaches a
// '.' or its end; '*' matches any run; a '.' before a wildcard or at the pattern's end also
// matches the end of a name without a dot. (The search also tries 8.3 short names; names of the
// image-file form have no other short name, so that is left out.)
bool matchesPattern(const std::string& name, const std::string& pattern);
// One of the semicolon-separated patterns of `mask` matches (empty patterns match nothing).
bool matchesMask(const std::string& name, const std::string& mask);

struct HostFaults {
    // Bytes that files written may still take, shared by all of them; -1 for no limit. A
    // write beyond it stores what fits and fails, as a full disk does.
    long long diskFree = -1;
    // Bare file names (any case) whose reads deliver no more than the given bytes in total.
    std::map<std::string, long long> readLimit;
    // Bare file names whose open for reading fails although they exist.
    std::set<std::string> failOpen;
    // Bare file names whose close (read or write) reports failure.
    std::set<std::string> failClose;
    // Closing any written file reports failure.
    bool failCloseWritten = false;
    // Putting a written file on the disk fails.
    bool failFlush = false;
    bool failCreate = false;
    bool failTempFile = false;
    // 1-based number of the rename call that fails (0: none fails); `failRenamesFrom` makes
    // that one and every later one fail.
    int failRenameAt = 0;
    bool failRenamesFrom = false;
    // 1-based number of the remove call that fails (0: none fails).
    int failRemoveAt = 0;
    // Bare file names that another program holds open without sharing: they neither open nor
    // are created over, renamed, removed or taken over.
    std::set<std::string> locked;
    // The machine stops before this file-system step (counted from 1 over every temporary
    // file, create, write, flush to disk, close, rename and remove; 0: never): that step and
    // everything after it fail and change nothing. powerLoss() then tells what the disk kept.
    int stopAt = 0;
};

class HostFileSystem : public FileSystem {
public:
    // `root` is an existing host directory that stands for the root of drive `drive`.
    explicit HostFileSystem(std::string root, char drive = 'C');

    HostFaults faults;

    // Makes a directory of the drive (such as "\\WORK") the current directory.
    void setCurrentDirectory(const std::string& directory);
    // The host path that a program's path stands for.
    std::string hostPath(const std::string& path) const;

    // Plain files of a directory whose names match the mask, sorted by name without case.
    std::vector<std::string> listFiles(const std::string& directory, const std::string& mask) const;

    int openFiles() const { return openFiles_; }
    int filesOpened() const { return filesOpened_; }
    // Every create, rename and remove, in order ("create X", "rename X Y", "remove X").
    std::vector<std::string> operations;

    std::unique_ptr<InputFile> openRead(const std::string& path) override;
    std::unique_ptr<OutputFile> create(const std::string& path) override;
    Entry entry(const std::string& path) override;
    bool canTake(const std::string& path) override;
    char currentDrive() override { return drive_; }
    std::string currentDirectory() override { return directory_; }
    std::string makeTempFile() override;
    bool rename(const std::string& from, const std::string& to) override;
    bool remove(const std::string& path) override;

    // The file-system steps taken so far, stopped ones included.
    int steps() const { return steps_; }
    // After the machine stopped: a file written through this double since its last flush to
    // disk keeps only what was on the disk then, as after a power loss under a write-back cache
    // (directory changes are kept).
    void powerLoss();

    // For the files it hands out.
    void fileClosed() { --openFiles_; }
    bool takeDiskSpace(std::size_t wanted, std::size_t& granted);
    // Counts a step; false once the machine has stopped.
    bool step();
    bool running() const { return faults.stopAt == 0 || steps_ < faults.stopAt; }
    // The file behind `fd` is about to be written (when it was on the disk), or is on the disk.
    void writing(int fd);
    void flushed(int fd);

private:
    // Host path with the last part matched without case to an existing entry, when one does.
    std::string resolve(const std::string& path) const;

    std::string root_;
    char drive_;
    std::string directory_ = "\\";
    int openFiles_ = 0;
    int filesOpened_ = 0;
    int renames_ = 0;
    int removes_ = 0;
    int steps_ = 0;
    unsigned tempCounter_ = 0;
    // Files written since their last flush to disk, by device and inode, with the size they
    // had on the disk.
    std::map<std::pair<unsigned long long, unsigned long long>, long long> unflushed_;
};

} // namespace platform::fake
