// Text formatting with the conventions of wsprintfA, which the program's texts follow: flags
// "-" and "0", a width, a precision (for %s the most characters written, read no further than
// that), the conversions d i u x X c s and %%. It needs no C runtime beyond the string itself,
// so the Windows 9x release carries no printf.
#pragma once

#include <cstdarg>
#include <string>

namespace platform {

#if defined(__GNUC__)
#define KXD_FORMAT_CHECK(format, first) __attribute__((__format__(__printf__, format, first)))
#else
#define KXD_FORMAT_CHECK(format, first)
#endif

std::string formatText(const char* format, ...) KXD_FORMAT_CHECK(1, 2);
std::string formatTextV(const char* format, va_list arguments);

} // namespace platform
