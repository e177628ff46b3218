// The driver's script language (tools/README.md): a line's words with their quoting and
// variables, texts quoted as the transcript shows them, numbers, paths, and the failure a step
// reports.
#pragma once

#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace driver {

using Words = std::vector<std::string>;
using Variables = std::map<std::string, std::string>;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A text as a script word writes it: in double quotes, with \n, \r, \t, \" and \\.
std::string quoted(const std::string& text);
std::string joinQuoted(const Words& words);

// Unix paths as the Wine drive Z: shows them.
std::string windowsPath(const std::string& path);

// Words separated by blanks; double quotes group, with \" \\ \n \t inside; # starts a comment;
// ${NAME} in a word is replaced by the variable or, failing that, the environment variable.
Words splitLine(const std::string& line, const Variables& vars);

// Throws the step's usage unless it has `least` to `most` words (its own name included).
void expectCount(const Words& w, std::size_t least, std::size_t most, const char* usage);
int toInt(const std::string& text);

} // namespace driver
