// Splits a line of the simulator's scenario file or of the driver's scripts into words: words
// are separated by blanks (space, tab, carriage return), a word starting with '#' begins a
// comment to the end of the line, and double quotes group characters, blanks included, with
// backslash escapes inside. The two formats differ only where a quote may stand and what an
// escape stands for.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace sim {

struct WordRules {
    // A quote may open anywhere in a word, and the word goes on after the closing quote
    // (scenario files); otherwise only a quote at a word's start opens one, and the word ends at
    // the closing quote (driver scripts).
    bool quotesInsideWords;
    // Reads the escape that follows a backslash inside quotes, from line[at]: appends what it
    // stands for to `word` and moves `at` past it.
    void (*escape)(const std::string& line, std::size_t& at, std::string& word);
};

// The words of `line` appended to `words`; false, with the reason in `error`, when a quote is
// not closed.
bool splitWords(const std::string& line, const WordRules& rules, std::vector<std::string>& words,
                std::string& error);

} // namespace sim
