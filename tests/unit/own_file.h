// The program's own file for the test doubles: the headers of a PE executable, sealed with its
// checksum as the builder seals a flasher, held in memory under whatever path the fake system
// reports as the module path, so that a flasher's self-check passes as it does for a whole
// flasher. A test that wants another file puts its bytes under the path first.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "package/self_check.h"
#include "platform/fake/memory_files.h"
#include "platform/system.h"

namespace ownfile {

constexpr std::size_t PeOffset = 0x80;
constexpr std::size_t ChecksumField = PeOffset + 4 + 20 + 64;

// 0x400 bytes: MZ header, PE signature, an i386 COFF header and a PE32 optional header with an
// empty checksum field; the other bytes follow a pattern, as code and data would.
inline std::vector<unsigned char> peHead() {
    std::vector<unsigned char> head(0x400);
    unsigned value = 12345;
    for (unsigned char& byte : head) {
        value = value * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(value >> 16);
    }
    const auto put = [&head](std::size_t at, std::initializer_list<int> bytes) {
        for (int byte : bytes) {
            head[at++] = static_cast<unsigned char>(byte);
        }
    };
    put(0, {'M', 'Z'});
    put(0x3C, {PeOffset, 0, 0, 0});
    put(PeOffset, {'P', 'E', 0, 0, 0x4C, 0x01});
    put(PeOffset + 4 + 16, {0xE0, 0});
    put(PeOffset + 24, {0x0B, 0x01});
    put(ChecksumField, {0, 0, 0, 0});
    return head;
}

inline std::vector<unsigned char> sealed(std::vector<unsigned char> file) {
    package::sealExecutable(file.data(), file.size());
    return file;
}

class OwnFile : public platform::fake::MemoryFiles {
public:
    explicit OwnFile(platform::System& system) : system_(system) {}
    // False: the program's own file does not open.
    bool present = true;

    std::unique_ptr<platform::InputFile> openRead(const std::string& path) override {
        if (files.count(path) == 0 && path == system_.modulePath() && present) {
            files[path] = sealed(peHead());
        }
        return MemoryFiles::openRead(path);
    }

private:
    platform::System& system_;
};

} // namespace ownfile
