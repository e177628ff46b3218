#include "platform/whole_text.h"

#include <vector>

namespace platform {

std::string readWholeText(const FillText& fill) {
    std::vector<char> buffer;
    for (unsigned long size = FirstTextBuffer;; size *= 2) {
        if (size > LongestText + 1) {
            size = LongestText + 1;
        }
        buffer.assign(size, '\0');
        const unsigned long length = fill(buffer.data(), size);
        if (length == 0) {
            return std::string();
        }
        // A text that fills the buffer up to its last character may have been cut short.
        if (length < size - 1 || size == LongestText + 1) {
            std::string text(buffer.data(), length < size - 1 ? length : size - 1);
            return text.substr(0, text.find('\0'));
        }
    }
}

} // namespace platform
