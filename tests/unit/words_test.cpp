// The word splitter that the scenario files and the driver's scripts share: blanks, comments,
// and quotes that may open inside a word or only at its start.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/core/words.h"

namespace {

using Strings = std::vector<std::string>;

// An escaped character stands for itself, but \n for a line feed.
void escape(const std::string& line, std::size_t& at, std::string& word) {
    const char c = line[at++];
    word += c == 'n' ? '\n' : c;
}

TEST(Words, QuotesInsideWordsOrOnlyAtTheirStart) {
    struct Row {
        std::string line;
        Strings inside; // quotes anywhere, the word goes on
        Strings start;  // quotes at a word's start only, the word ends with them
    };
    const Row rows[] = {
        {"", {}, {}},
        {" \t a  b\r", {"a", "b"}, {"a", "b"}},
        {"a #b c", {"a"}, {"a"}},
        {"a#b", {"a#b"}, {"a#b"}},
        {"# all of it", {}, {}},
        {"a \"b c\"d", {"a", "b cd"}, {"a", "b c", "d"}},
        {"x\"y z\"", {"xy z"}, {"x\"y", "z\""}},
        {"\"\" e", {"", "e"}, {"", "e"}},
        {"\"q\\\"\\\\\\n\"", {"q\"\\\n"}, {"q\"\\\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        for (const bool inside : {true, false}) {
            Strings words;
            std::string error;
            EXPECT_TRUE(sim::splitWords(row.line, sim::WordRules{inside, escape}, words, error));
            EXPECT_EQ(inside ? row.inside : row.start, words);
        }
    }
}

TEST(Words, AnOpenQuoteIsAnError) {
    for (const char* line : {"a \"b c", "\"ends in a backslash\\"}) {
        for (const bool inside : {true, false}) {
            Strings words;
            std::string error;
            EXPECT_FALSE(sim::splitWords(line, sim::WordRules{inside, escape}, words, error));
            EXPECT_EQ("unterminated quote", error);
        }
    }
}

} // namespace
