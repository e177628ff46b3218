// The flasher writer over arbitrary templates and images, against a small model of what it must
// make: either the flasher is the model's, byte for byte, in a folder otherwise as it was, or
// the build fails with the model's notice and the folder is exactly as it was (no temporary
// file, whatever stood under the flasher's name untouched). Real files through the host double
// of the file system, in a folder under /dev/shm (or /tmp).
//
// Input: byte 0 says what the folder holds: bits 0-1 the ZOL-K image's size (262144, one byte
// less, one more, none), bits 2-3 the NonZOL-K image's; bits 4-5 what stands under the flasher's
// name (nothing, an earlier flasher, a read-only one, a folder); bit 6 an earlier flasher is
// held open by another program; bit 7 the disk takes only the number of bytes in bytes 1-3.
// Bytes 4-6 are the length of a run of filler bytes (up to two image slots and a little more)
// that goes after as many template bytes as bytes 7-8 say; the rest of the input is the
// template's own bytes.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_check.h"
#include "host_tree.h"
#include "package/flasher_writer.h"
#include "package/self_check.h"
#include "platform/fake/host_files.h"

namespace {

using hosttree::Bytes;

constexpr std::size_t Image = 262144;
const std::string Output = "W9XKV8105.EXE";
const std::string Program = "BUILDER.EXE";
const std::string SomeProblem = "Building fail: some problem in " + Program;

struct Report : package::WriterReport {
    std::vector<std::string> notices;
    void copyStarted(long long) override {}
    void copyStepped() override {}
    void failed(const std::string& text) override { notices.push_back(text); }
};

Bytes filler(std::size_t size, unsigned char seed) {
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i) {
        out[i] = static_cast<unsigned char>(seed + i * 7); // never the keyword
    }
    return out;
}

std::size_t sizeOf(unsigned code) {
    const std::size_t sizes[] = {Image, Image - 1, Image + 1, 0};
    return sizes[code & 3];
}

unsigned number(const uint8_t* data, std::size_t bytes) {
    unsigned value = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        value = value << 8 | data[i];
    }
    return value;
}

// What the build must give on a disk with room: the failure notice, or an empty text and the
// flasher in `flasher`.
std::string model(const Bytes& templateFile, std::size_t zolkSize, std::size_t nonZolkSize,
                  bool nameTaken, const Bytes& zolk, const Bytes& nonZolk, Bytes& flasher) {
    if (zolkSize != Image) {
        return "KV81.BINfile size != 256K";
    }
    if (nonZolkSize != Image) {
        return "KV05.BINfile size != 256K";
    }
    if (nameTaken) {
        return "Create " + Output + " Fail";
    }
    static const char keyword[] = "BIN-START-ADDR"; // with the array's own NUL
    const auto found =
        std::search(templateFile.begin(), templateFile.end(), keyword, keyword + sizeof keyword);
    if (found == templateFile.end()) {
        return "Building fail: not found key-word in " + Program;
    }
    const std::size_t slot =
        static_cast<std::size_t>(found - templateFile.begin()) + sizeof keyword;
    if (slot + 2 * Image > templateFile.size()) {
        return SomeProblem;
    }
    flasher = templateFile;
    std::copy(zolk.begin(), zolk.end(), flasher.begin() + static_cast<long>(slot));
    std::copy(nonZolk.begin(), nonZolk.end(), flasher.begin() + static_cast<long>(slot + Image));
    // PE headers in the template's first block, before its slots: the flasher is sealed with the
    // checksum of its own bytes.
    const long long field = package::checksumFieldOffset(
        templateFile.data(), std::min<std::size_t>(templateFile.size(), 65536));
    if (field >= 0 && static_cast<std::size_t>(field) + package::ChecksumFieldSize <= slot) {
        package::sealExecutable(flasher.data(), flasher.size());
    }
    return "";
}

// The run's folder, removed when the run ends (libFuzzer ends a run through exit()).
std::string root() {
    static const std::string made = [] {
        struct stat st;
        const std::string base = ::stat("/dev/shm", &st) == 0 ? "/dev/shm" : "/tmp";
        return hosttree::makeFolder(base + "/kxd-writer-fuzz-");
    }();
    static const bool removedAtExit = std::atexit([] { hosttree::removeTree(root()); }) == 0;
    (void)removedAtExit;
    return made;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr std::size_t Header = 9;
    if (size < Header || root().empty()) {
        return 0;
    }
    const unsigned flags = data[0];
    const std::size_t zolkSize = sizeOf(flags), nonZolkSize = sizeOf(flags >> 2);
    const unsigned under = (flags >> 4) & 3; // nothing, earlier, read-only earlier, folder
    const bool held = (flags & 0x40) != 0 && (under == 1 || under == 2);
    const bool diskLimited = (flags & 0x80) != 0;
    const long long diskFree = number(data + 1, 3);
    const Bytes rest(data + Header, data + size);
    const std::size_t fill = number(data + 4, 3) % (2 * Image + 4096);
    const std::size_t at = number(data + 7, 2) % (rest.size() + 1);
    Bytes templateFile(rest.begin(), rest.begin() + static_cast<long>(at));
    const Bytes run = filler(fill, data[4]);
    templateFile.insert(templateFile.end(), run.begin(), run.end());
    templateFile.insert(templateFile.end(), rest.begin() + static_cast<long>(at), rest.end());

    const std::string work = root() + "/WORK";
    hosttree::removeTree(work);
    ::mkdir(work.c_str(), 0755);
    const Bytes zolk = filler(zolkSize, 81), nonZolk = filler(nonZolkSize, 5);
    hosttree::writeHostFile(work + "/KV81.BIN", zolk);
    hosttree::writeHostFile(work + "/KV05.BIN", nonZolk);
    hosttree::writeHostFile(work + "/W9XKVXXXX.EXE", templateFile);
    if (under == 1 || under == 2) {
        hosttree::writeHostFile(work + "/" + Output, filler(100, 1));
        if (under == 2) {
            ::chmod((work + "/" + Output).c_str(), 0444);
        }
    } else if (under == 3) {
        ::mkdir((work + "/" + Output).c_str(), 0755);
    }
    const auto before = hosttree::contents(work);

    platform::fake::HostFileSystem files(root());
    files.setCurrentDirectory("\\WORK");
    if (held) {
        files.faults.locked = {Output};
    }
    if (diskLimited) {
        files.faults.diskFree = diskFree;
    }
    Report report;
    package::FlasherWriter writer(files);
    const package::FlasherJob job{
        "C:\\WORK\\KV81.BIN", "C:\\WORK\\KV05.BIN", "KV81.BIN", "KV05.BIN", Output, Program};
    const bool built = writer.write(job, report);

    Bytes flasher;
    std::string expected =
        model(templateFile, zolkSize, nonZolkSize, under >= 2 || held, zolk, nonZolk, flasher);
    const bool writes = expected.empty() || expected == SomeProblem ||
                        expected.rfind("Building fail: not found", 0) == 0;
    if (writes && diskLimited && diskFree < static_cast<long long>(templateFile.size())) {
        // The flasher does not fit: the build fails as soon as a write does; a build that would
        // fail on its own may get there first.
        const bool eitherWay =
            !expected.empty() && !report.notices.empty() && report.notices.front() == expected;
        expected = eitherWay ? expected : SomeProblem;
    }

    fuzz::expect(files.openFiles() == 0, "every file closed");
    auto after = hosttree::contents(work);
    if (expected.empty()) {
        fuzz::expect(built && report.notices.empty(), "a build without a notice");
        fuzz::expect(after[Output] == flasher, "the model's flasher");
        after.erase(Output);
        auto others = before;
        others.erase(Output);
        fuzz::expect(after == others, "nothing else in the folder changed");
    } else {
        fuzz::expect(!built && report.notices.size() == 1 && report.notices.front() == expected,
                     "the model's notice, once");
        fuzz::expect(after == before, "the folder as it was");
    }
    return 0;
}
