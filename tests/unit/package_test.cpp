#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "package/firmware_area.h"
#include "package/naming.h"

namespace {

TEST(FirmwareArea, AsBuiltIsATemplateWithTheKeywordBeforeTheFirstSlot) {
    EXPECT_TRUE(package::isTemplate());
    EXPECT_EQ(0, std::memcmp(package::startKeyword(), "BIN-START-ADDR\0", 15));
    EXPECT_EQ(package::startKeyword() + 15, package::zolkImage());
    EXPECT_EQ(package::zolkImage() + package::ImageSize, package::nonZolkImage());
    EXPECT_EQ(0, std::memcmp(package::nonZolkImage() + package::ImageSize, "BIN-END-ADDR\0", 13));
}

std::vector<unsigned char> bytes(const std::string& text) {
    return std::vector<unsigned char>(text.begin(), text.end());
}

TEST(FirmwareArea, FindsTheFirstSlotAfterTheFirstWholeKeyword) {
    const std::string keyword("BIN-START-ADDR\0", 15);
    struct Case {
        std::string file;
        long long slot;
    } cases[] = {
        {"xx" + keyword + "PELO01", 17},
        {"BIN-START-" + keyword + "A", 25}, // right after a leading part of itself
        {"B" + keyword, 16},                // directly after a 'B'
        {"BIN-START-ADDRX" + keyword, 30},  // no NUL after the text: not the keyword
        {"BIN-START-ADDR", -1},
        {"", -1},
        {keyword + keyword, 15},
    };
    for (const Case& c : cases) {
        const auto data = bytes(c.file);
        EXPECT_EQ(c.slot, package::findFirstSlot(data.data(), data.size())) << c.file;
    }
}

TEST(Naming, FlasherNameTakesFourAndTwoCharacters) {
    EXPECT_EQ("W9XKV8105.EXE", package::flasherName("KV81.BIN", "KV05.BIN"));
    EXPECT_EQ("W9XKV9Z7A.EXE", package::flasherName("KV9Z.BIN", "KV7A.BIN"));
    EXPECT_EQ("W9XKV.EXE", package::flasherName("KV", "K"));
    EXPECT_EQ("W9X.EXE", package::flasherName("", ""));
}

TEST(Naming, RevisionsComeFromTheLastTenCharactersOfThePath) {
    struct Case {
        std::string path, tail, title, zolk, nonZolk;
    } cases[] = {
        {"C:\\TOOLS\\W9XKV8105.EXE", "KV8105.EXE", " [KV8105]", "KV81", "KV05"},
        {"W9XKV8105.EXE", "KV8105.EXE", " [KV8105]", "KV81", "KV05"},
        {"Z:\\tmp\\W9XKV8a05.EXE", "KV8a05.EXE", " [KV8a05]", "KV8a", "KV05"},
        {"C:\\W9XKVXXXX.EXE", "KVXXXX.EXE", " [KVXXXX]", "KVXX", "KVXX"},
        // Another name: whatever its last ten characters are.
        {"C:\\RENAMED.EXE", "ENAMED.EXE", " [ENAMED]", "ENAM", "ENED"},
        {"0123456789", "0123456789", " [012345]", "0123", "0145"},
        // Shorter than ten: no name tail, nothing read outside the path, no targets.
        {"C:\\A.EXE", "C:\\A.EXE", " [C:\\A.E]", "", ""},
        {"", "", " []", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.tail, package::nameTail(c.path)) << c.path;
        EXPECT_EQ(c.title, package::titleSuffix(c.path)) << c.path;
        EXPECT_EQ(c.zolk, package::zolkTargetRevision(c.path)) << c.path;
        EXPECT_EQ(c.nonZolk, package::nonZolkTargetRevision(c.path)) << c.path;
    }
}

TEST(Naming, EditionByTheThirdRevisionCharacter) {
    EXPECT_EQ(package::Edition::ZolK, package::editionFor('8'));
    EXPECT_EQ(package::Edition::ZolK, package::editionFor('9'));
    for (char c = '0'; c <= '7'; ++c) {
        EXPECT_EQ(package::Edition::NonZolK, package::editionFor(c));
    }
    for (char c : {'A', 'a', '~', ' ', '\0', ':', '/'}) {
        EXPECT_EQ(package::Edition::None, package::editionFor(c));
    }
}

} // namespace
