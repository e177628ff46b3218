// File access for the builder: byte-exact reading, creating and writing in the current
// directory, and the directory listing behind the file lists.
#pragma once

namespace platform {

class FileSystem {
public:
    virtual ~FileSystem() = default;
};

} // namespace platform
