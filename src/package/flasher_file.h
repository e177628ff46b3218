// A flasher or template file as another program reads it (the command-line flasher): its
// firmware package area found by the start keyword, the two image slots, and whether it is a
// template (the marker at the start of its first slot) or a flasher.
#pragma once

#include <string>
#include <vector>

#include "package/firmware_area.h"
#include "package/self_check.h"
#include "platform/files.h"

namespace package {

enum class FileKind { Flasher, Template, NoPackage };

struct FlasherFile {
    FileKind kind = FileKind::NoPackage;
    std::vector<unsigned char> bytes; // the whole file
    std::size_t slots = 0;            // where its first image slot starts, with a package
    // The file held to its own checksum, as a flasher checks itself.
    SelfCheck check = SelfCheck::Unreadable;

    const unsigned char* zolk() const { return bytes.data() + slots; }
    const unsigned char* nonZolk() const { return zolk() + ImageSize; }
};

// Reads the whole file once; false when it does not open or cannot be read to its end. A file
// without the keyword, or too short for both slots after it, has no package.
bool readFlasherFile(platform::FileSystem& files, const std::string& path, FlasherFile& file);

} // namespace package
