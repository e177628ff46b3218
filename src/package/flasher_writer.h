// Writes a flasher: the template copied byte for byte up to and including the first whole start
// keyword, its two image slots passed over and replaced whole by the two image files, then the
// rest of the template, with the executable's checksum made anew for the flasher's own bytes. The
// file is written under a temporary name, put on the disk and renamed into place only once it is
// complete; it replaces only an earlier file that creating it in place would have emptied. Over the
// platform's file system only; whoever runs it shows its progress and its failures.
#pragma once

#include <string>

#include "platform/files.h"

namespace package {

// One build's files, by the names the builder's lists and the program give.
struct FlasherJob {
    std::string zolkPath;    // the ZOL-K image file
    std::string nonZolkPath; // the NonZOL-K image file
    std::string zolkName;    // their bare names, for the messages
    std::string nonZolkName;
    std::string outputName;  // the flasher, in the current directory
    std::string programName; // the running program's bare file name, for the messages
};

// What a build tells while it runs.
class WriterReport {
public:
    virtual ~WriterReport() = default;
    // The copy begins: `templateSize` bytes of template, a step for every ProgressStep of them
    // (the image slots counted in whole steps).
    virtual void copyStarted(long long templateSize) = 0;
    virtual void copyStepped() = 0;
    // The build fails with this text; told once, at the moment it fails.
    virtual void failed(const std::string& text) = 0;
};

class FlasherWriter {
public:
    static constexpr long long ProgressStep = 1024;

    explicit FlasherWriter(platform::FileSystem& files) : files_(files) {}

    // Reads the template (the name the program was built under, in the current directory) and
    // the two images and writes the flasher. Every failure is told to `report` and leaves the
    // directory as it was: no new file, no temporary one, and whatever stood under the
    // flasher's name untouched. A directory, a read-only, hidden or system file, or a file
    // another program holds open under that name is "Create NAME Fail". Every file is closed
    // on every way out.
    bool write(const FlasherJob& job, WriterReport& report);

private:
    // Gives the finished temporary file the flasher's name, in place of an earlier file of
    // that name when `replacing`; false, with everything as it was, when it cannot.
    bool putInPlace(const std::string& temp, const std::string& name, bool replacing);

    platform::FileSystem& files_;
};

} // namespace package
