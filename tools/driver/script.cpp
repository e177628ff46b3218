#include "script.h"

#include <algorithm>
#include <cstdlib>

#include "sim/core/words.h"

namespace driver {

std::string quoted(const std::string& text) {
    std::string result = "\"";
    for (char c : text) {
        switch (c) {
        case '\n':
            result += "\\n";
            break;
        case '\r':
            result += "\\r";
            break;
        case '\t':
            result += "\\t";
            break;
        case '"':
            result += "\\\"";
            break;
        case '\\':
            result += "\\\\";
            break;
        default:
            result += c;
        }
    }
    return result + "\"";
}

std::string joinQuoted(const Words& words) {
    std::string result;
    for (const std::string& w : words) {
        result += (result.empty() ? "" : " ") + quoted(w);
    }
    return result;
}

// Unix paths as the Wine drive Z: shows them.
std::string windowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        return path;
    }
    std::string result = "Z:" + path;
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

namespace {

std::string expand(const std::string& text, const Variables& vars) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '$' && i + 1 < text.size() && text[i + 1] == '{') {
            const size_t end = text.find('}', i + 2);
            if (end == std::string::npos) {
                throw Failure("unterminated ${ in " + quoted(text));
            }
            const std::string name = text.substr(i + 2, end - i - 2);
            const auto found = vars.find(name);
            if (found != vars.end()) {
                result += found->second;
            } else if (const char* env = std::getenv(name.c_str())) {
                result += env;
            } else {
                throw Failure("undefined variable " + name);
            }
            i = end;
        } else {
            result += text[i];
        }
    }
    return result;
}

// Inside quotes \n, \t and \r stand for the control characters, any other escaped character
// for itself.
void scriptEscape(const std::string& line, std::size_t& i, std::string& word) {
    const char c = line[i++];
    word += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
}

constexpr sim::WordRules ScriptWords{false, scriptEscape};

} // namespace

Words splitLine(const std::string& line, const Variables& vars) {
    Words words;
    std::string error;
    if (!sim::splitWords(line, ScriptWords, words, error)) {
        throw Failure(error);
    }
    for (std::string& word : words) {
        word = expand(word, vars);
    }
    return words;
}

void expectCount(const Words& w, std::size_t least, std::size_t most, const char* usage) {
    if (w.size() < least || w.size() > most) {
        throw Failure(std::string("usage: ") + usage);
    }
}

int toInt(const std::string& text) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end) {
        throw Failure("not a number: " + quoted(text));
    }
    return static_cast<int>(value);
}

} // namespace driver
