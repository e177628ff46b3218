/* The memory and string functions that compiled code and the C++ runtime call. Built with
 * -ffreestanding and without loop-to-call rewriting, so that no loop here turns into a call of
 * itself. */
#include <stddef.h>
#include <string.h>

void* memcpy(void* restrict to, const void* restrict from, size_t count) {
    unsigned char* d = (unsigned char*)to;
    const unsigned char* s = (const unsigned char*)from;
    while (count-- > 0) {
        *d++ = *s++;
    }
    return to;
}

void* memmove(void* to, const void* from, size_t count) {
    unsigned char* d = (unsigned char*)to;
    const unsigned char* s = (const unsigned char*)from;
    if (d < s) {
        while (count-- > 0) {
            *d++ = *s++;
        }
    } else if (d > s) {
        d += count;
        s += count;
        while (count-- > 0) {
            *--d = *--s;
        }
    }
    return to;
}

void* memset(void* to, int value, size_t count) {
    unsigned char* d = (unsigned char*)to;
    while (count-- > 0) {
        *d++ = (unsigned char)value;
    }
    return to;
}

int memcmp(const void* a, const void* b, size_t count) {
    const unsigned char* x = (const unsigned char*)a;
    const unsigned char* y = (const unsigned char*)b;
    for (; count > 0; --count, ++x, ++y) {
        if (*x != *y) {
            return *x < *y ? -1 : 1;
        }
    }
    return 0;
}

void* memchr(const void* block, int value, size_t count) {
    const unsigned char* p = (const unsigned char*)block;
    for (; count > 0; --count, ++p) {
        if (*p == (unsigned char)value) {
            return (void*)p;
        }
    }
    return NULL;
}

size_t strlen(const char* text) {
    const char* end = text;
    while (*end != '\0') {
        ++end;
    }
    return (size_t)(end - text);
}

int strcmp(const char* a, const char* b) {
    const unsigned char* x = (const unsigned char*)a;
    const unsigned char* y = (const unsigned char*)b;
    while (*x != '\0' && *x == *y) {
        ++x;
        ++y;
    }
    return *x == *y ? 0 : *x < *y ? -1 : 1;
}

int strncmp(const char* a, const char* b, size_t count) {
    const unsigned char* x = (const unsigned char*)a;
    const unsigned char* y = (const unsigned char*)b;
    for (; count > 0; --count, ++x, ++y) {
        if (*x != *y || *x == '\0') {
            return *x == *y ? 0 : *x < *y ? -1 : 1;
        }
    }
    return 0;
}

char* strchr(const char* text, int value) {
    for (;; ++text) {
        if (*text == (char)value) {
            return (char*)text;
        }
        if (*text == '\0') {
            return NULL;
        }
    }
}

/* For random_device's token parsing in libstdc++: decimal, octal ("0") and hexadecimal ("0x")
 * with base 0, saturating at the largest value on overflow. */
unsigned long strtoul(const char* text, char** end, int base) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    int negative = 0;
    if (*p == '+' || *p == '-') {
        negative = *p++ == '-';
    }
    if ((base == 0 || base == 16) && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
        ((p[2] >= '0' && p[2] <= '9') || (p[2] >= 'a' && p[2] <= 'f') ||
         (p[2] >= 'A' && p[2] <= 'F'))) {
        p += 2;
        base = 16;
    } else if (base == 0) {
        base = p[0] == '0' ? 8 : 10;
    }
    const char* first = p;
    unsigned long value = 0;
    int overflow = 0;
    for (;; ++p) {
        int digit;
        if (*p >= '0' && *p <= '9') {
            digit = *p - '0';
        } else if (*p >= 'a' && *p <= 'z') {
            digit = *p - 'a' + 10;
        } else if (*p >= 'A' && *p <= 'Z') {
            digit = *p - 'A' + 10;
        } else {
            break;
        }
        if (digit >= base) {
            break;
        }
        if (value > ((unsigned long)-1 - (unsigned long)digit) / (unsigned long)base) {
            overflow = 1;
        }
        value = value * (unsigned long)base + (unsigned long)digit;
    }
    if (end != NULL) {
        *end = (char*)(p == first ? text : p);
    }
    if (overflow) {
        return (unsigned long)-1;
    }
    return negative ? 0ul - value : value;
}
