// File access for the builder: byte-exact reading, creating and writing in the current
// directory, what stands under a name, and the directory operations that put a finished flasher
// in place.
//
// Only what the builder needs: reading from the start, writing at the end (and over what was
// written), no directory listing (the file lists do their own).
// Names without a directory are resolved in the current directory.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace platform {

// A file open for reading raw bytes (no translation of line ends), buffered.
// Destroying it closes it if close() was not called.
class InputFile {
public:
    virtual ~InputFile() = default;
    // Length in bytes, or -1 when it cannot be taken. The read position does not move.
    virtual long long size() = 0;
    // Reads up to `count` bytes at the read position; fewer only at the end of the file or on
    // a failure.
    virtual std::size_t read(void* data, std::size_t count) = 0;
    // False when the file could not be closed cleanly. Later calls do nothing and return true.
    virtual bool close() = 0;
};

// A file open for writing raw bytes, buffered: a failure may show in a later write or only in
// flushToDisk() or close(), so each is checked. Destroying it closes it if close() was not
// called.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    // False when not every byte could be written (this time or, buffered, before).
    virtual bool write(const void* data, std::size_t count) = 0;
    // Writes `count` bytes over bytes already written, from `offset` on (a header completed
    // once the rest is known); later writes still go to the end. False when not every byte
    // could be written, or any earlier write failed.
    virtual bool writeAt(long long offset, const void* data, std::size_t count) = 0;
    // Writes what is buffered and has the system put every byte written so far on the disk, so
    // that they survive the machine stopping; false when that or any earlier write failed.
    // Closing alone does not: a disk cache may still hold them.
    virtual bool flushToDisk() = 0;
    // Writes what is buffered and closes; false when that or any earlier write failed.
    virtual bool close() = 0;
};

// What stands under a name.
enum class Entry {
    None,      // nothing: the name is free
    File,      // a file of ordinary attributes, which creating over it would empty
    KeptFile,  // a file that creating over it does not touch: read-only, hidden or system
    Directory, // a directory (folder)
    Unknown,   // the name cannot be looked at
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // An existing file, for reading; null when it does not open.
    virtual std::unique_ptr<InputFile> openRead(const std::string& path) = 0;
    // Created when absent and emptied when present, with ordinary attributes; null on failure.
    virtual std::unique_ptr<OutputFile> create(const std::string& path) = 0;

    // What stands under the name, by its attributes.
    virtual Entry entry(const std::string& path) = 0;
    // Whether the existing file could be taken over now: opened for writing with no sharing,
    // that is writable and held open by no other program. It is closed again at once, as it was.
    virtual bool canTake(const std::string& path) = 0;

    // The current drive's letter (upper case), or '\0' when the current directory is not on a
    // lettered drive.
    virtual char currentDrive() = 0;
    // The current directory on that drive, with its leading backslash ("\" at the root). Without
    // a drive letter: the whole current directory.
    virtual std::string currentDirectory() = 0;

    // Makes a new, empty file with a name no other file in the current directory has, and
    // returns its path; empty when none could be made.
    virtual std::string makeTempFile() = 0;
    // Renames within one directory; fails when `to` exists (as MoveFile does on every Windows).
    virtual bool rename(const std::string& from, const std::string& to) = 0;
    virtual bool remove(const std::string& path) = 0;
};

} // namespace platform
