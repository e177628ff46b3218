// A text of unknown length read through a call that fills a buffer of a given size and cuts
// the text short when it does not fit, as GetModuleFileNameA does with the program's own path:
// the buffer grows until the whole text fits.
#pragma once

#include <functional>
#include <string>

namespace platform {

// Fills `buffer` (of `size` characters) and returns the characters written, 0 on failure. A
// text that does not fit may come back cut to `size` - 1 characters and a NUL, or to `size`
// characters without one; either way the result is `size` - 1 or more.
using FillText = std::function<unsigned long(char* buffer, unsigned long size)>;

// The first buffer, and the longest text that Win32 paths can have (32767 characters).
constexpr unsigned long FirstTextBuffer = 256;
constexpr unsigned long LongestText = 32767;

// The whole text (empty when the call fails); a text longer than LongestText comes back cut
// to that length.
std::string readWholeText(const FillText& fill);

} // namespace platform
