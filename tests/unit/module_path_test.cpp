// The program's own path read whole, however long, the way the Win32 layer reads it through
// GetModuleFileNameA; and a flasher deep in a long path still titles its window and names its
// target revision from the end of that path.
#include <gtest/gtest.h>

#include <cstring>

#include "flasher_session.h"
#include "platform/whole_text.h"

namespace {

// How a call that fills a buffer too small for the text cuts it: to size - 1 characters and a
// NUL, reporting size - 1 or size (Windows releases differ), or to size characters without a
// NUL, reporting size.
enum class Cut { WithNulShort, WithNul, WithoutNul };

struct ModuleFile {
    std::string path;
    Cut cut;
    int calls = 0;
    bool fails = false;
    unsigned long operator()(char* buffer, unsigned long size) {
        ++calls;
        if (fails) {
            return 0;
        }
        if (path.size() < size) {
            std::memcpy(buffer, path.c_str(), path.size() + 1);
            return static_cast<unsigned long>(path.size());
        }
        if (cut == Cut::WithoutNul) {
            std::memcpy(buffer, path.data(), size);
            return size;
        }
        std::memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
        return cut == Cut::WithNul ? size : size - 1;
    }
};

// "C:\" and folders of ten characters, then the flasher's name: `length` characters in all.
std::string pathOf(std::size_t length, const std::string& name = "W9XKV8D1B.EXE") {
    std::string path = "C:\\";
    while (path.size() + name.size() < length) {
        path += std::string(std::min<std::size_t>(9, length - path.size() - name.size() - 1), 'D') +
                "\\";
    }
    return path + name;
}

TEST(ModulePath, ReadWholeWhateverItsLength) {
    struct Row {
        std::size_t length;
        int calls; // 256 characters first, doubled while the text may have been cut
    };
    const Row rows[] = {{16, 1},  {254, 1},  {255, 2},  {256, 2},   {300, 2},
                        {511, 3}, {1000, 3}, {4000, 5}, {32767, 8}, {40000, 8}};
    for (Cut cut : {Cut::WithNulShort, Cut::WithNul, Cut::WithoutNul}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::to_string(row.length) + " characters, cut " +
                         std::to_string(static_cast<int>(cut)));
            ModuleFile file{pathOf(row.length), cut};
            ASSERT_EQ(row.length, file.path.size());
            const std::string read =
                platform::readWholeText([&file](char* b, unsigned long n) { return file(b, n); });
            // Longer than any Win32 path: cut to the longest there is.
            EXPECT_EQ(file.path.substr(0, platform::LongestText), read);
            EXPECT_EQ(row.calls, file.calls);
        }
    }
    ModuleFile failing{"C:\\W9XKV8D1B.EXE", Cut::WithNul};
    failing.fails = true;
    EXPECT_EQ("", platform::readWholeText([&](char* b, unsigned long n) { return failing(b, n); }));
}

// The title tag and the target revision come from the end of the path as read.
TEST(ModulePath, LongPathTitlesTheWindowAndNamesTheTarget) {
    flashtest::PackageImages images;
    for (std::size_t length : {255u, 256u, 300u, 1000u}) {
        SCOPED_TRACE(length);
        ModuleFile file{pathOf(length), Cut::WithNul};
        platform::fake::FakeSystem system;
        system.modulePathValue =
            platform::readWholeText([&file](char* b, unsigned long n) { return file(b, n); });
        flashsession::Answers dialogs;
        dialogs.answers = {platform::AnswerYes, platform::AnswerNo}; // the warning, the question
        simdrive::Bus bus(system, simdrive::busWith({simdrive::kxd("KV8C")}));
        flashsession::Flasher flasher(system, dialogs);
        EXPECT_EQ("Quorven-Tek  Flash utility   V1.015  KXD-7316 [KV8D1B]", flasher.window.text);
        flasher.press();
        ASSERT_EQ(2u, dialogs.shown.size());
        EXPECT_EQ("\nUpdate FW:KV8C to FW:KV8D ?\n", dialogs.shown[1].text);
    }
}

} // namespace
