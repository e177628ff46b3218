// The end-to-end driver's script language, line by line: whatever the text, a line gives its
// words or a failure the driver reports, without a fault the sanitizers see; and words that a
// transcript line writes read back as the same words, as the driver's `expect-box` step relies
// on when a transcript line is pasted into a script.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz_check.h"
#include "script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const driver::Variables vars{{"WORK", "/tmp/work"}, {"APP", "/tmp/W9XKVXXXX.EXE"}};
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) { // as the driver reads a script
        driver::Words words;
        try {
            words = driver::splitLine(line, vars);
        } catch (const driver::Failure&) {
            continue;
        }
        bool plain = true; // nothing that reads as a variable
        for (const std::string& word : words) {
            plain = plain && word.find("${") == std::string::npos;
            driver::windowsPath(word);
            try {
                driver::toInt(word);
            } catch (const driver::Failure&) {
            }
        }
        if (plain) {
            driver::Words again;
            try {
                again = driver::splitLine(driver::joinQuoted(words), {});
            } catch (const driver::Failure&) {
                fuzz::expect(false, "a line of quoted words to read");
            }
            fuzz::expect(again == words, "quoted words to read back as themselves");
        }
    }
    return 0;
}
