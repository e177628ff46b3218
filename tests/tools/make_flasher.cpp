// Makes a flasher from a template executable and two image files, the way the builder lays
// them out and seals them with their checksum, for the end-to-end tests and the demonstration
// run:
//   make_flasher TEMPLATE ZOLK.BIN NONZOLK.BIN OUTPUT
// and writes a generated test image of 262144 bytes:
//   make_flasher --image SEED OUTPUT
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "package/firmware_area.h"
#include "package/self_check.h"

namespace {

bool readFile(const std::string& path, std::vector<unsigned char>& data) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool writeFile(const std::string& path, const std::vector<unsigned char>& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    out.close();
    return static_cast<bool>(out);
}

// A deterministic image that differs in every block and from every other seed.
std::vector<unsigned char> generatedImage(unsigned seed) {
    std::vector<unsigned char> image(package::ImageSize);
    unsigned state = seed * 2654435761u + 12345u;
    for (auto& byte : image) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(state >> 16);
    }
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--image") == 0) {
        return writeFile(argv[3], generatedImage(static_cast<unsigned>(std::stoul(argv[2])))) ? 0
                                                                                              : 1;
    }
    if (argc != 5) {
        std::cerr << "usage: make_flasher TEMPLATE ZOLK.BIN NONZOLK.BIN OUTPUT\n"
                     "       make_flasher --image SEED OUTPUT\n";
        return 2;
    }
    std::vector<unsigned char> file, zolk, nonZolk;
    if (!readFile(argv[1], file) || !readFile(argv[2], zolk) || !readFile(argv[3], nonZolk)) {
        std::cerr << "make_flasher: cannot read the inputs\n";
        return 1;
    }
    if (zolk.size() != package::ImageSize || nonZolk.size() != package::ImageSize) {
        std::cerr << "make_flasher: images must be 262144 bytes\n";
        return 1;
    }
    const long long slot = package::findFirstSlot(file.data(), file.size());
    if (slot < 0 || static_cast<std::size_t>(slot) + 2 * package::ImageSize > file.size()) {
        std::cerr << "make_flasher: no package area in " << argv[1] << "\n";
        return 1;
    }
    std::copy(zolk.begin(), zolk.end(), file.begin() + slot);
    std::copy(nonZolk.begin(), nonZolk.end(), file.begin() + slot + package::ImageSize);
    package::sealExecutable(file.data(), file.size());
    if (!writeFile(argv[4], file)) {
        std::cerr << "make_flasher: cannot write " << argv[4] << "\n";
        return 1;
    }
    return 0;
}
