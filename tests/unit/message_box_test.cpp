// The rules every message box follows: caption and icon by kind, the buttons and their
// order, the default and the Esc button, the wrapping of the text, and the period rule of
// the error box.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/form.h"
#include "platform/message_box.h"

namespace {

using platform::AnswerNo;
using platform::AnswerOk;
using platform::AnswerYes;
using platform::BoxIcon;
using platform::BoxKind;
using platform::ButtonNo;
using platform::ButtonOk;
using platform::ButtonYes;

TEST(MessageBoxStyle, CaptionAndIconFollowTheKind) {
    struct Case {
        BoxKind kind;
        std::string caption;
        BoxIcon icon;
    };
    const Case cases[] = {
        {BoxKind::Notice, "Quorven Reflash for CDRW-KXD7316", BoxIcon::None},
        {BoxKind::Warning, "Warning", BoxIcon::Exclamation},
        {BoxKind::Error, "Error", BoxIcon::Stop},
        {BoxKind::Confirm, "Confirm", BoxIcon::Question},
    };
    for (const Case& c : cases) {
        const platform::BoxStyle style =
            platform::boxStyle(c.kind, "Quorven Reflash for CDRW-KXD7316");
        EXPECT_EQ(style.caption, c.caption);
        EXPECT_EQ(style.icon, c.icon) << c.caption;
    }
}

TEST(MessageBoxButtons, OrderDefaultAndEscapeForEveryChoice) {
    struct Case {
        unsigned buttons;
        std::vector<int> answers;
        int defaultAnswer;
        int escapeAnswer;
    };
    const Case cases[] = {
        {ButtonOk, {AnswerOk}, AnswerOk, AnswerOk},
        {ButtonYes, {AnswerYes}, AnswerYes, 0},
        {ButtonNo, {AnswerNo}, AnswerNo, AnswerNo},
        {ButtonYes | ButtonNo, {AnswerYes, AnswerNo}, AnswerYes, AnswerNo},
        {ButtonYes | ButtonOk, {AnswerYes, AnswerOk}, AnswerOk, AnswerOk},
        {ButtonNo | ButtonOk, {AnswerNo, AnswerOk}, AnswerOk, AnswerNo},
        {ButtonYes | ButtonNo | ButtonOk, {AnswerYes, AnswerNo, AnswerOk}, AnswerOk, AnswerNo},
        // A box always has a way out.
        {0u, {AnswerOk}, AnswerOk, AnswerOk},
    };
    for (const Case& c : cases) {
        const platform::BoxButtons b = platform::boxButtons(c.buttons);
        EXPECT_EQ(b.answers, c.answers) << "buttons " << c.buttons;
        EXPECT_EQ(b.defaultAnswer, c.defaultAnswer) << "buttons " << c.buttons;
        EXPECT_EQ(b.escapeAnswer, c.escapeAnswer) << "buttons " << c.buttons;
    }
}

TEST(MessageBoxButtons, TextsAndAnswerCodes) {
    EXPECT_STREQ(platform::buttonText(AnswerYes), "&Yes");
    EXPECT_STREQ(platform::buttonText(AnswerNo), "&No");
    EXPECT_STREQ(platform::buttonText(AnswerOk), "OK");
    EXPECT_EQ(AnswerOk, 1);
    EXPECT_EQ(AnswerYes, 6);
    EXPECT_EQ(AnswerNo, 7);
}

// Every character ten pixels wide, as a fixed-pitch font would measure.
int tenPerCharacter(const std::string& text) {
    return static_cast<int>(text.size()) * 10;
}

TEST(MessageBoxWrap, BreaksAtBlanksLineFeedsAndInsideOverlongWords) {
    struct Case {
        const char* what;
        std::string text;
        int maxWidth;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"fits", "Flash Completed.", 200, {"Flash Completed."}},
        {"exactly fits", "abcde fghij", 110, {"abcde fghij"}},
        {"one pixel short", "abcde fghij", 109, {"abcde", "fghij"}},
        {"several breaks", "one two three four five", 90, {"one two", "three", "four five"}},
        {"line feed", "first\nsecond", 200, {"first", "second"}},
        {"line feed then wrap", "ab cd\nef gh ij", 50, {"ab cd", "ef gh", "ij"}},
        {"empty paragraph kept", "a\n\nb", 200, {"a", "", "b"}},
        {"trailing line feed", "a\n", 200, {"a", ""}},
        {"empty text", "", 200, {""}},
        {"overlong word alone", "abcdefghij", 40, {"abcd", "efgh", "ij"}},
        {"overlong word after a word", "ab abcdefgh cd", 40, {"ab", "abcd", "efgh", "cd"}},
        {"overlong word's tail joins next", "abcdef g", 40, {"abcd", "ef g"}},
        {"narrower than a character", "abc", 5, {"a", "b", "c"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::wrapText(c.text, c.maxWidth, tenPerCharacter), c.lines) << c.what;
    }
}

TEST(MessageBoxWrap, NoLineIsWiderThanTheLimitWithProportionalWidths) {
    // Wider letters for upper case, as a proportional font measures.
    const platform::TextWidth width = [](const std::string& s) {
        int w = 0;
        for (char c : s) {
            w += (c >= 'A' && c <= 'Z') ? 14 : c == ' ' ? 5 : 9;
        }
        return w;
    };
    const std::string text = "The drive's firmware is NEWER than the one in this flasher. "
                             "Do you still want to WRITE it? ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const std::vector<std::string> lines = platform::wrapText(text, 150, width);
    std::string rejoined;
    for (const std::string& line : lines) {
        EXPECT_LE(width(line), 150) << line;
        EXPECT_FALSE(line.empty());
        rejoined += line;
    }
    std::string withoutBlanks;
    for (char c : text) {
        if (c != ' ') {
            withoutBlanks += c;
        }
    }
    std::string rejoinedWithoutBlanks;
    for (char c : rejoined) {
        if (c != ' ') {
            rejoinedWithoutBlanks += c;
        }
    }
    EXPECT_EQ(rejoinedWithoutBlanks, withoutBlanks); // nothing lost, nothing added
}

TEST(ErrorText, PeriodAddedAfterCharactersAboveThePeriod) {
    struct Case {
        std::string message;
        std::string shown;
    };
    const Case cases[] = {
        {"", ""},
        {"Access violation", "Access violation."},
        {"Done.", "Done."},
        {"Really?", "Really?."},                // '?' sorts above '.' too
        {"Stop!", "Stop!"},                     // '!' sorts below '.'
        {"Error 5", "Error 5."},                // digits sort above '.'
        {"Path C:\\", "Path C:\\."},            // '\\' sorts above '.'
        {"Trailing blank ", "Trailing blank "}, // blank sorts below '.'
        {"Dash -", "Dash -"},                   // '-' is just below '.'
        {"Slash /", "Slash /."},                // '/' is just above '.'
        {"Line\n", "Line\n"},
        {"\xA4\xA4", "\xA4\xA4."}, // 8-bit characters count as unsigned
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::withPeriod(c.message), c.shown);
    }
}

} // namespace
