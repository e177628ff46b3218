#include "sim/core/words.h"

namespace sim {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// From after the opening quote to after the closing one; false when the line ends first.
bool readQuoted(const std::string& line, std::size_t& i, const WordRules& rules,
                std::string& word) {
    for (;;) {
        if (i >= line.size()) {
            return false;
        }
        const char c = line[i++];
        if (c == '"') {
            return true;
        }
        if (c == '\\' && i < line.size()) {
            rules.escape(line, i, word);
        } else {
            word += c;
        }
    }
}

} // namespace

bool splitWords(const std::string& line, const WordRules& rules, std::vector<std::string>& words,
                std::string& error) {
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i])) {
            ++i;
        }
        if (i >= line.size() || line[i] == '#') {
            break;
        }
        std::string word;
        const std::size_t start = i;
        while (i < line.size() && !isBlank(line[i])) {
            if (line[i] != '"' || (!rules.quotesInsideWords && i != start)) {
                word += line[i++];
                continue;
            }
            ++i;
            if (!readQuoted(line, i, rules, word)) {
                error = "unterminated quote";
                return false;
            }
            if (!rules.quotesInsideWords) {
                break;
            }
        }
        words.push_back(word);
    }
    return true;
}

} // namespace sim
