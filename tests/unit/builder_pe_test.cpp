// The build on the real Windows 9x executable as template: the flasher must be a valid PE
// file that differs from the template only in the two image slots and its checksum, which the
// linker's own checksum of the template and the flasher's self-check agree with.
#include "builder_fixture.h"
#include "package/self_check.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

using buildertest::BuilderWindow;
using buildertest::Bytes;
using buildertest::image;
using buildertest::readHostFile;
using package::ImageSize;

std::string templatePath() {
    if (const char* given = std::getenv("KXD_WIN32_TEMPLATE")) {
        return given;
    }
    std::string source = __FILE__; // .../tests/unit/builder_pe_test.cpp
    const std::string tail = "tests/unit/builder_pe_test.cpp";
    if (source.size() >= tail.size() &&
        source.compare(source.size() - tail.size(), tail.size(), tail) == 0) {
        source.erase(source.size() - tail.size());
    } else {
        source = "./";
    }
    return source + "build/win32/src/app/W9XKVXXXX.EXE";
}

uint32_t le32(const Bytes& data, std::size_t at) {
    return data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
           static_cast<uint32_t>(data[at + 3]) << 24;
}
uint16_t le16(const Bytes& data, std::size_t at) {
    return static_cast<uint16_t>(data[at] | data[at + 1] << 8);
}

struct Section {
    std::string name;
    uint32_t rawOffset, rawSize;
};

// Checks the headers and returns the section table; an empty table after a failed check.
std::vector<Section> peSections(const Bytes& file) {
    std::vector<Section> sections;
    EXPECT_GE(file.size(), 0x40u);
    if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') {
        ADD_FAILURE() << "no MZ header";
        return sections;
    }
    const uint32_t pe = le32(file, 0x3C);
    if (pe + 24 > file.size() || le32(file, pe) != 0x00004550) {
        ADD_FAILURE() << "no PE signature at " << pe;
        return sections;
    }
    EXPECT_EQ(0x14C, le16(file, pe + 4)) << "i386 machine";
    const unsigned count = le16(file, pe + 6);
    const unsigned optionalSize = le16(file, pe + 20);
    EXPECT_EQ(0x10B, le16(file, pe + 24)) << "PE32 optional header";
    const std::size_t table = pe + 24 + optionalSize;
    EXPECT_LE(table + 40 * count, file.size());
    EXPECT_GT(count, 0u);
    for (unsigned i = 0; i < count && table + 40 * (i + 1) <= file.size(); ++i) {
        const std::size_t at = table + 40 * i;
        std::string name(reinterpret_cast<const char*>(&file[at]), 8);
        name = name.substr(0, name.find('\0'));
        sections.push_back({name, le32(file, at + 20), le32(file, at + 16)});
        EXPECT_LE(static_cast<std::size_t>(sections.back().rawOffset) + sections.back().rawSize,
                  file.size())
            << name;
    }
    return sections;
}

TEST(BuilderOnRealTemplate, FlasherIsAValidPeFileDifferingOnlyInTheSlots) {
    Bytes tmpl;
    const std::string path = templatePath();
    if (!readHostFile(path, tmpl) || tmpl.empty()) {
        GTEST_SKIP() << "no i686 template at " << path
                     << ": build the win32 preset first (or set KXD_WIN32_TEMPLATE)";
    }
    // The keyword stands exactly once, at the start of the area.
    const long long slot = package::findFirstSlot(tmpl.data(), tmpl.size());
    ASSERT_GT(slot, 0) << "no start keyword in " << path;
    ASSERT_EQ(-1, package::findFirstSlot(tmpl.data() + slot, tmpl.size() - slot));
    ASSERT_EQ(0, std::memcmp(&tmpl[slot], "PELO01", 6)) << "the build is a template";

    const std::vector<Section> sections = peSections(tmpl);
    bool inOneSection = false;
    for (const Section& s : sections) {
        inOneSection = inOneSection ||
                       (slot >= s.rawOffset && slot + 2 * ImageSize <= s.rawOffset + s.rawSize);
    }
    EXPECT_TRUE(inOneSection) << "both slots lie in the initialised data of one section";

    BuilderWindow w;
    w.put("W9XKVXXXX.EXE", tmpl);
    w.put("KV81.BIN", image(81));
    w.put("KV05.BIN", image(5));
    w.choose("KV81.BIN", "KV05.BIN");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(w.builder.NewBuildFlashProgram());
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::cout << "built a flasher from a " << tmpl.size() << "-byte template in " << took.count()
              << " ms\n";
    RecordProperty("build_ms", static_cast<int>(took.count()));

    // The linker stored the template's checksum; the same routine gives the same value.
    const long long field = package::checksumFieldOffset(tmpl.data(), tmpl.size());
    ASSERT_GT(field, 0);
    package::ImageChecksum linked(field);
    linked.add(tmpl.data(), tmpl.size());
    EXPECT_EQ(le32(tmpl, static_cast<std::size_t>(field)), linked.value());

    const Bytes built = w.get("W9XKV8105.EXE");
    ASSERT_EQ(tmpl.size(), built.size());
    EXPECT_EQ(sections.size(), peSections(built).size());
    package::ImageChecksum sealed(field);
    sealed.add(built.data(), built.size());
    EXPECT_EQ(le32(built, static_cast<std::size_t>(field)), sealed.value());
    std::size_t first = built.size(), last = 0;
    for (std::size_t i = 0; i < built.size(); ++i) {
        if (i >= static_cast<std::size_t>(field) && i < field + package::ChecksumFieldSize) {
            continue;
        }
        if (built[i] != tmpl[i]) {
            first = std::min(first, i);
            last = i;
        }
    }
    EXPECT_GE(first, static_cast<std::size_t>(slot));
    EXPECT_LT(last, static_cast<std::size_t>(slot) + 2 * ImageSize);
    const Bytes zolk = image(81), nonZolk = image(5);
    EXPECT_TRUE(std::equal(zolk.begin(), zolk.end(), built.begin() + slot));
    EXPECT_TRUE(std::equal(nonZolk.begin(), nonZolk.end(), built.begin() + slot + ImageSize));
}

} // namespace
