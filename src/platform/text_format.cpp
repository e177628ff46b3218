#include "platform/text_format.h"

namespace platform {
namespace {

// One conversion's flags, width and precision.
struct Field {
    bool left = false;
    bool zeros = false;
    int width = 0;
    int precision = -1;
};

void pad(std::string& out, const Field& field, const char* text, std::size_t length, bool numeric) {
    const std::size_t width = field.width > 0 ? static_cast<std::size_t>(field.width) : 0;
    const std::size_t fill = width > length ? width - length : 0;
    if (field.left) {
        out.append(text, length);
        out.append(fill, ' ');
    } else if (field.zeros && numeric) {
        // The sign stays in front of the zeros.
        std::size_t sign = length > 0 && text[0] == '-' ? 1 : 0;
        out.append(text, sign);
        out.append(fill, '0');
        out.append(text + sign, length - sign);
    } else {
        out.append(fill, ' ');
        out.append(text, length);
    }
}

std::size_t digits(char* end, unsigned long value, unsigned base, bool upper) {
    const char* symbols = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char* p = end;
    do {
        *--p = symbols[value % base];
        value /= base;
    } while (value != 0);
    return static_cast<std::size_t>(end - p);
}

} // namespace

std::string formatText(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string text = formatTextV(format, arguments);
    va_end(arguments);
    return text;
}

std::string formatTextV(const char* format, va_list arguments) {
    std::string out;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        const char* start = p++;
        Field field;
        for (;; ++p) {
            if (*p == '-') {
                field.left = true;
            } else if (*p == '0') {
                field.zeros = true;
            } else {
                break;
            }
        }
        for (; *p >= '0' && *p <= '9'; ++p) {
            field.width = field.width * 10 + (*p - '0');
        }
        if (*p == '.') {
            field.precision = 0;
            for (++p; *p >= '0' && *p <= '9'; ++p) {
                field.precision = field.precision * 10 + (*p - '0');
            }
        }
        bool isLong = false;
        if (*p == 'l' || *p == 'h') {
            isLong = *p == 'l';
            ++p;
        }
        char buffer[24];
        char* end = buffer + sizeof buffer;
        switch (*p) {
        case 'd':
        case 'i': {
            const long value = isLong ? va_arg(arguments, long) : va_arg(arguments, int);
            const unsigned long magnitude = value < 0 ? 0ul - static_cast<unsigned long>(value)
                                                      : static_cast<unsigned long>(value);
            std::size_t n = digits(end, magnitude, 10, false);
            if (value < 0) {
                *(end - ++n) = '-';
            }
            pad(out, field, end - n, n, true);
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            const unsigned long value =
                isLong ? va_arg(arguments, unsigned long) : va_arg(arguments, unsigned);
            const std::size_t n = digits(end, value, *p == 'u' ? 10 : 16, *p == 'X');
            pad(out, field, end - n, n, true);
            break;
        }
        case 'c': {
            const char c = static_cast<char>(va_arg(arguments, int));
            pad(out, field, &c, 1, false);
            break;
        }
        case 's': {
            const char* text = va_arg(arguments, const char*);
            if (text == nullptr) {
                text = "(null)";
            }
            // Never past the precision: the text need not end within the buffer it lies in.
            std::size_t n = 0;
            while ((field.precision < 0 || n < static_cast<std::size_t>(field.precision)) &&
                   text[n] != '\0') {
                ++n;
            }
            pad(out, field, text, n, false);
            break;
        }
        case '%':
            out += '%';
            break;
        default:
            // Not a conversion: the text stands as it is.
            out.append(start, static_cast<std::size_t>(p - start) + (*p != '\0' ? 1 : 0));
            if (*p == '\0') {
                return out;
            }
            break;
        }
    }
    return out;
}

} // namespace platform
