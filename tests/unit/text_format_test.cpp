// The program's own formatter against the C library's for every conversion and flag the
// program's texts use, and a precision that stops reading where it says.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/text_format.h"

namespace {

TEST(TextFormat, AgreesWithTheCLibrary) {
    struct Row {
        const char* format; // takes an int, then a text
        int number;
        const char* text;
    };
    const Row rows[] = {
        {"Command Error: %02X%s", 0x8, ""},
        {"%02X %s", 0xE4, "x"},
        {"HA#%d - ID#%d :  %28.28s", 2, nullptr}, // two numbers: see below
        {"%d|%s", -42, "minus"},
        {"%5d|%-5s|", 42, "ab"},
        {"%-5d|%5s|", -7, "abcdefg"},
        {"%05d|%.3s|", -7, "abcdefg"},
        {"%x|%4.4s|", 48879, "KV8"},
        {"%u|%2.2s|", -1, "KV05"},
        {"%c%s%%", 'K', "V"},
        {"%i and %s", 0, ""},
    };
    for (const Row& r : rows) {
        char expected[128];
        std::string got;
        if (r.text == nullptr) {
            std::snprintf(expected, sizeof expected, r.format, r.number, 1,
                          "QUORVEN KXD-7316        KV81");
            got = platform::formatText(r.format, r.number, 1, "QUORVEN KXD-7316        KV81");
        } else {
            std::snprintf(expected, sizeof expected, r.format, r.number, r.text);
            got = platform::formatText(r.format, r.number, r.text);
        }
        EXPECT_EQ(got, expected) << r.format;
    }
}

TEST(TextFormat, PrecisionBoundsTheRead) {
    // An INQUIRY reply need not hold a NUL in its 28 identification bytes.
    const char reply[28] = {'Q', 'U', 'O', 'R', 'V', 'E', 'N', ' ', 'K', 'X', 'D', '-', '7', '3',
                            '1', '6', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 'K', 'V', '8', '1'};
    EXPECT_EQ(platform::formatText("[%28.28s]", reply), "[QUORVEN KXD-7316        KV81]");
    const char early[8] = {'A', 'B', '\0', 'C', 'D', 'E', 'F', 'G'};
    EXPECT_EQ(platform::formatText("[%6.6s]", early), "[    AB]");
}

} // namespace
