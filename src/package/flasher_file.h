// A flasher or template file as another program reads it (the command-line flasher): its
// firmware package area found by the start keyword, the two image slots, and whether it is a
// template (the marker at the start of its first slot) or a flasher.
#pragma once

#include <string>
#include <vector>

#include "platform/files.h"

namespace package {

enum class FileKind { Flasher, Template, NoPackage };

struct FlasherFile {
    FileKind kind = FileKind::NoPackage;
    std::vector<unsigned char> zolk;    // the first image slot
    std::vector<unsigned char> nonZolk; // the second
};

// Reads the whole file; false when it does not open or cannot be read to its end. A file
// without the keyword, or too short for both slots after it, has no package.
bool readFlasherFile(platform::FileSystem& files, const std::string& path, FlasherFile& file);

} // namespace package
