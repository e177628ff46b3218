// The Windows 9x release's own memory and string functions against the host's C library: the
// same results (signs for comparisons) on every row, overlapping moves both ways included. Its
// heap over a process heap that misaligns every block.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "heap_check.h"
#include "unit/runtime9x_host/windows.h"

extern "C" {
void* r9x_memcpy(void*, const void*, size_t);
void* r9x_memmove(void*, const void*, size_t);
void* r9x_memset(void*, int, size_t);
int r9x_memcmp(const void*, const void*, size_t);
void* r9x_memchr(const void*, int, size_t);
size_t r9x_strlen(const char*);
int r9x_strcmp(const char*, const char*);
int r9x_strncmp(const char*, const char*, size_t);
char* r9x_strchr(const char*, int);
unsigned long r9x_strtoul(const char*, char**, int);
void* r9x_malloc(size_t);
void* r9x_calloc(size_t, size_t);
void* r9x_realloc(void*, size_t);
void r9x_free(void*);
void* alignedMalloc(size_t, size_t);
}

// The process heap under the runtime's heap: the host's, each block 1 to 15 bytes past a 16-byte
// boundary in turn (worse than any system heap), its address and size kept in front of it.
namespace {
long heapBlocks = 0; // not yet freed
unsigned placed = 0;
} // namespace

extern "C" {
HANDLE GetProcessHeap() {
    return &heapBlocks;
}
void* HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes) {
    auto* base = static_cast<unsigned char*>(std::calloc(bytes + 32, 1));
    unsigned char* block = base + 17 + placed++ % 15;
    std::memcpy(block - 16, &base, sizeof base);
    std::memcpy(block - sizeof bytes, &bytes, sizeof bytes);
    std::memset(block, (flags & HEAP_ZERO_MEMORY) ? 0 : 0xCD, bytes);
    ++heapBlocks;
    return block;
}
BOOL HeapFree(HANDLE, DWORD, void* block) {
    void* base;
    std::memcpy(&base, static_cast<unsigned char*>(block) - 16, sizeof base);
    std::free(base);
    --heapBlocks;
    return 1;
}
SIZE_T HeapSize(HANDLE, DWORD, const void* block) {
    SIZE_T bytes;
    std::memcpy(&bytes, static_cast<const unsigned char*>(block) - sizeof bytes, sizeof bytes);
    return bytes;
}
}

namespace {

int sign(int v) {
    return (v > 0) - (v < 0);
}

TEST(Runtime9x, MovesCopiesAndFillsLikeTheCLibrary) {
    // Source and destination offsets within one buffer: apart, overlapping forwards and
    // backwards, identical.
    const size_t rows[][3] = {{0, 20, 10}, {0, 3, 17}, {5, 0, 17}, {4, 4, 9}, {7, 2, 0}};
    for (const auto& r : rows) {
        std::vector<unsigned char> expected(40), got(40);
        for (size_t i = 0; i < 40; ++i) {
            expected[i] = got[i] = static_cast<unsigned char>(i * 37 + 1);
        }
        std::memmove(&expected[r[1]], &expected[r[0]], r[2]);
        r9x_memmove(&got[r[1]], &got[r[0]], r[2]);
        EXPECT_EQ(got, expected) << r[0] << " -> " << r[1] << " x" << r[2];
    }
    unsigned char a[16], b[16];
    std::memset(a, 0xA5, sizeof a);
    EXPECT_EQ(r9x_memset(b, 0x1A5, sizeof b), b);
    EXPECT_EQ(std::memcmp(a, b, sizeof a), 0);
    const char text[] = "BIN-START-ADDR";
    char copy[sizeof text] = {};
    EXPECT_EQ(r9x_memcpy(copy, text, sizeof text), copy);
    EXPECT_STREQ(copy, text);
}

TEST(Runtime9x, ComparesAndSearchesLikeTheCLibrary) {
    const char* pairs[][2] = {{"KV81", "KV81"}, {"KV81", "KV82"}, {"KV8", "KV81"},
                              {"", ""},         {"\xE4", "a"},    {"abc", "abd"}};
    for (const auto& p : pairs) {
        const size_t n = std::strlen(p[0]) + 1;
        const size_t m = std::strlen(p[1]) + 1;
        const size_t both = n < m ? n : m;
        EXPECT_EQ(sign(r9x_memcmp(p[0], p[1], both)), sign(std::memcmp(p[0], p[1], both)))
            << p[0] << "|" << p[1];
        EXPECT_EQ(sign(r9x_strcmp(p[0], p[1])), sign(std::strcmp(p[0], p[1])));
        for (size_t k = 0; k <= 4; ++k) {
            EXPECT_EQ(sign(r9x_strncmp(p[0], p[1], k)), sign(std::strncmp(p[0], p[1], k)));
        }
        EXPECT_EQ(r9x_strlen(p[0]), std::strlen(p[0]));
    }
    const char text[] = "HA#0 - ID#1 :  QUORVEN";
    for (const int c : {'#', 'Q', 'N', 'z', '\0'}) {
        EXPECT_EQ(r9x_strchr(text, c), std::strchr(text, c)) << char(c);
        EXPECT_EQ(r9x_memchr(text, c, sizeof text), std::memchr(text, c, sizeof text));
        EXPECT_EQ(r9x_memchr(text, c, 5), std::memchr(text, c, 5));
    }
}

TEST(Runtime9x, ParsesNumbersLikeTheCLibrary) {
    struct Row {
        const char* text;
        int base;
    };
    const Row rows[] = {
        {"42", 10},         {"  17xyz", 10}, {"-1", 10},  {"+9", 0},
        {"0x1F", 0},        {"0x", 0},       {"0xg", 16}, {"017", 0},
        {"019", 0},         {"ff", 16},      {"FFz", 16}, {"", 10},
        {"   ", 0},         {"z", 36},       {"777", 8},  {"99999999999999999999999", 10},
        {"0X7fffFFFF", 16}, {"\t\n 5", 10},
    };
    for (const Row& r : rows) {
        char* expectedEnd = nullptr;
        char* gotEnd = nullptr;
        const unsigned long expected = std::strtoul(r.text, &expectedEnd, r.base);
        const unsigned long got = r9x_strtoul(r.text, &gotEnd, r.base);
        EXPECT_EQ(got, expected) << '"' << r.text << "\" base " << r.base;
        EXPECT_EQ(gotEnd - r.text, expectedEnd - r.text) << '"' << r.text << '"';
    }
}

TEST(Runtime9x, HeapAlignsEveryBlockWhateverTheProcessHeapGives) {
    const heapcheck::Heap heap{
        "runtime heap",
        [](size_t n, size_t a) {
            return a ? alignedMalloc(n, a) : n % 3 ? r9x_malloc(n) : r9x_calloc(n, 1);
        },
        [](void* block, size_t, size_t) { r9x_free(block); }, r9x_realloc};
    EXPECT_EQ(heapcheck::firstFault(heap, 16, 3000), -1);
    // Refused without touching the process heap: an alignment that is no power of two, sizes
    // past the address space; a block resized to nothing is freed.
    EXPECT_EQ(alignedMalloc(8, 24), nullptr);
    EXPECT_EQ(r9x_malloc(SIZE_MAX - 8), nullptr);
    EXPECT_EQ(r9x_calloc(SIZE_MAX / 2, 3), nullptr);
    EXPECT_EQ(r9x_realloc(r9x_malloc(5), 0), nullptr);
    EXPECT_EQ(heapBlocks, 0);
}

} // namespace
