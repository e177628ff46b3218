// The flasher's checksum: the builder seals every flasher it writes, and the flasher's check of
// its own file finds any changed byte and any cut, while files without a checksum of their own
// (the template, flashers made by an earlier builder) pass.
#include "builder_fixture.h"
#include "own_file.h"
#include "package/self_check.h"

namespace {

using buildertest::BuilderWindow;
using buildertest::Bytes;
using buildertest::image;
using buildertest::pattern;
using buildertest::templateFile;
using buildertest::withImages;
using package::SelfCheck;

using ownfile::peHead;
constexpr std::size_t Field = ownfile::ChecksumField;

// The self-check of a file as it lies in the builder's folder.
SelfCheck check(BuilderWindow& w, const std::string& name) {
    std::unique_ptr<platform::InputFile> file = w.files.openRead(name);
    EXPECT_TRUE(file) << name;
    return file ? package::checkExecutable(*file) : SelfCheck::Unreadable;
}

struct Built {
    BuilderWindow w;
    Bytes tmpl = templateFile(peHead(), pattern(5000, 9));
    std::size_t slot = peHead().size() + 15;
    Bytes flasher;

    Built() {
        w.put("W9XKVXXXX.EXE", tmpl);
        w.put("KV81.BIN", image(81));
        w.put("KV05.BIN", image(5));
        w.choose("KV81.BIN", "KV05.BIN");
        EXPECT_TRUE(w.builder.NewBuildFlashProgram());
        flasher = w.get("W9XKV8105.EXE");
    }
};

TEST(SelfCheck, ABuiltFlasherIsIntactAndEveryChangedByteOrCutIsFound) {
    Built b;
    ASSERT_EQ(b.tmpl.size(), b.flasher.size());
    EXPECT_EQ(SelfCheck::Intact, check(b.w, "W9XKV8105.EXE"));
    // The same value the checksum gives over the file held in memory.
    Bytes resealed = b.flasher;
    ASSERT_TRUE(package::sealExecutable(resealed.data(), resealed.size()));
    EXPECT_EQ(b.flasher, resealed);

    const std::size_t end = b.flasher.size();
    struct Change {
        const char* what;
        std::size_t at;   // the byte inverted (npos: none)
        std::size_t size; // the file's length afterwards
    };
    const std::size_t none = static_cast<std::size_t>(-1);
    const Change changes[] = {
        {"MZ header", 0, end},
        {"checksum field", Field + 2, end},
        {"first byte of the ZOL-K image", b.slot, end},
        {"odd byte of the NonZOL-K image", b.slot + package::ImageSize + 1, end},
        {"last byte of the file", end - 1, end},
        {"cut by one byte", none, end - 1},
        {"cut inside the second slot", none, b.slot + package::ImageSize + 100},
        {"one byte more", none, end + 1},
    };
    for (const Change& change : changes) {
        Bytes file = b.flasher;
        if (change.at != none) {
            file[change.at] = static_cast<unsigned char>(~file[change.at]);
        }
        file.resize(change.size, 0);
        b.w.put("CHANGED.EXE", file);
        EXPECT_EQ(SelfCheck::Damaged, check(b.w, "CHANGED.EXE")) << change.what;
    }
}

TEST(SelfCheck, FilesWithoutAChecksumOfTheirOwnPassAndUnreadableOnesDoNot) {
    Built b;
    // The template: no checksum, or the linker's.
    EXPECT_EQ(SelfCheck::NoChecksum, check(b.w, "W9XKVXXXX.EXE"));
    Bytes sealedTemplate = b.tmpl;
    ASSERT_TRUE(package::sealExecutable(sealedTemplate.data(), sealedTemplate.size()));
    b.w.put("SEALED.EXE", sealedTemplate);
    EXPECT_EQ(SelfCheck::Intact, check(b.w, "SEALED.EXE"));

    // A flasher of an earlier builder: the template's checksum kept, the images put in.
    Bytes earlier = withImages(sealedTemplate, b.slot, image(81), image(5));
    b.w.put("EARLIER.EXE", earlier);
    EXPECT_EQ(SelfCheck::NoChecksum, check(b.w, "EARLIER.EXE"));
    // ... whose bytes outside the slots are still held to it.
    earlier[b.slot - 20] ^= 0x40;
    b.w.put("EARLIER.EXE", earlier);
    EXPECT_EQ(SelfCheck::Damaged, check(b.w, "EARLIER.EXE"));

    // A file that cannot be read to its end proves nothing.
    b.w.files.faults.readLimit["W9XKV8105.EXE"] = 300000;
    EXPECT_EQ(SelfCheck::Unreadable, check(b.w, "W9XKV8105.EXE"));
    b.w.put("NOPE.EXE", pattern(3000, 1));
    EXPECT_EQ(SelfCheck::Damaged, check(b.w, "NOPE.EXE"));
}

} // namespace
