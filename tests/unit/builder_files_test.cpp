#include "builder_fixture.h"

namespace {

using buildertest::BuilderWindow;
using buildertest::Bytes;
using buildertest::bytesOf;
using buildertest::pattern;
using platform::fake::matchesMask;
using platform::fake::matchesPattern;

TEST(FileMask, MatchesAsTheDirectorySearchDoes) {
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"KV8?.BIN", "KV81.BIN", true},
        {"KV8?.BIN", "kv8z.bin", true}, // letters without case
        {"kv8?.bin", "KV8Z.BIN", true},
        {"KV8?.BIN", "KV8.BIN", true}, // '?' takes no character before the dot
        {"KV8?.BIN", "KV812.BIN", false},
        {"KV8?.BIN", "KV81.BINX", false},
        {"KV8?.BIN", "KV81.BIN.BAK", false},
        {"KV8?.BIN", "XKV81.BIN", false},
        {"KV8?.BIN", "KV91.BIN", false},
        {"KV8?.BIN", "KV8..BIN", false}, // '?' never takes a dot
        {"KV8?.BIN", "KV81BIN", false},
        {"KV??.BIN", "KV1.BIN", true},
        {"KV??.BIN", "KV.BIN", true},
        {"*.BIN", "ANY.NAME.BIN", true},
        {"*.BIN", "ANY.BINX", false},
        {"*", "x", true},
        {"A*.", "ABC", true}, // a final dot also matches a name without one
        {"A*.", "ABC.D", false},
        {"FILE.*", "FILE", true},
        {"FILE.?", "FILE", true},
        {"", "KV81.BIN", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.matches, matchesPattern(c.name, c.pattern)) << c.pattern << " " << c.name;
    }
}

TEST(FileMask, TakesEverySemicolonSeparatedPattern) {
    const std::string zolk = "KV8?.BIN;KV9?.BIN;";
    EXPECT_TRUE(matchesMask("KV81.BIN", zolk));
    EXPECT_TRUE(matchesMask("KV9A.BIN", zolk));
    EXPECT_FALSE(matchesMask("KV71.BIN", zolk));
    EXPECT_FALSE(matchesMask("", zolk));
    EXPECT_FALSE(matchesMask("KV81.BIN", ";;"));
    EXPECT_TRUE(matchesMask("KV81.BIN", "KV8?.BIN"));
}

TEST(HostFiles, ResolvesDrivePathsAndNamesWithoutCase) {
    BuilderWindow w;
    w.put("KV81.BIN", bytesOf("abc"));
    for (const char* path :
         {"KV81.BIN", "kv81.bin", "C:\\WORK\\KV81.BIN", "c:\\work/KV81.BIN", "\\WORK\\Kv81.Bin"}) {
        auto file = w.files.openRead(path);
        ASSERT_TRUE(file) << path;
        EXPECT_EQ(3, file->size()) << path;
        EXPECT_TRUE(file->close());
    }
    EXPECT_FALSE(w.files.openRead("MISSING.BIN"));
    EXPECT_FALSE(w.files.openRead("C:\\WORK")); // a directory is not a file
    EXPECT_EQ(0, w.files.openFiles());
}

TEST(HostFiles, FaultsShowWhereTheRealOnesWould) {
    BuilderWindow w;
    w.put("IN.BIN", pattern(100000, 1));

    // A short read delivers what it can and then nothing.
    w.files.faults.readLimit = {{"in.bin", 70000}};
    auto in = w.files.openRead("IN.BIN");
    ASSERT_TRUE(in);
    EXPECT_EQ(100000, in->size());
    Bytes buffer(100000);
    EXPECT_EQ(70000u, in->read(buffer.data(), buffer.size()));
    EXPECT_EQ(0u, in->read(buffer.data(), 1));
    EXPECT_EQ(1, w.files.openFiles());
    in.reset(); // destroying closes
    EXPECT_EQ(0, w.files.openFiles());
    // So it does a written file, what it still buffers written first (a failure thrown past it).
    auto unclosed = w.files.create("UNCLOSED.BIN");
    ASSERT_TRUE(unclosed);
    EXPECT_TRUE(unclosed->write(buffer.data(), 10));
    unclosed.reset();
    EXPECT_EQ(10u, w.get("UNCLOSED.BIN").size());
    EXPECT_EQ(0, w.files.openFiles());

    // A full disk: buffered writes fail at the latest when closing, with what fits written.
    w.files.faults.diskFree = 1000;
    auto out = w.files.create("OUT.BIN");
    ASSERT_TRUE(out);
    EXPECT_TRUE(out->write(buffer.data(), 600));
    EXPECT_TRUE(out->write(buffer.data(), 600)); // still in the buffer
    EXPECT_FALSE(out->close());
    EXPECT_EQ(1000u, w.get("OUT.BIN").size());

    w.files.faults.diskFree = 1000;
    out = w.files.create("OUT.BIN");
    EXPECT_FALSE(out->write(buffer.data(), 70000)); // larger than the buffer: written at once
    EXPECT_FALSE(out->write(buffer.data(), 1));
    EXPECT_FALSE(out->close());

    w.files.faults.diskFree = -1;
    w.files.faults.failCloseWritten = true;
    out = w.files.create("OUT.BIN");
    EXPECT_TRUE(out->write(buffer.data(), 10));
    EXPECT_FALSE(out->close());
    EXPECT_EQ(10u, w.get("OUT.BIN").size());
    EXPECT_EQ(0, w.files.openFiles());
}

TEST(HostFiles, RenameRefusesAnExistingTargetAndTempNamesAreNew) {
    BuilderWindow w;
    w.put("A", bytesOf("a"));
    w.put("B", bytesOf("b"));
    EXPECT_FALSE(w.files.rename("A", "B"));
    EXPECT_FALSE(w.files.rename("A", "b"));
    EXPECT_TRUE(w.files.rename("A", "C"));
    EXPECT_TRUE(w.get("C") == bytesOf("a"));
    const std::string first = w.files.makeTempFile();
    const std::string second = w.files.makeTempFile();
    EXPECT_NE(first, second);
    EXPECT_EQ(0u, first.rfind("C:\\WORK\\KXD", 0)) << first;
    auto file = w.files.openRead(first);
    ASSERT_TRUE(file);
    EXPECT_EQ(0, file->size());
    EXPECT_TRUE(file->close());
    EXPECT_TRUE(w.files.remove(first));
    EXPECT_FALSE(w.files.remove(first));
}

} // namespace
