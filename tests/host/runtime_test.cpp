// The Windows executable's own memory and string functions (runtime/), compiled here under the
// prefix runtime_, against the C library's.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/runtime.h"

namespace {

// Bytes on both sides of 0x80, so that a signed comparison would order them the wrong way.
const unsigned char kBytes[] = {0x00, 0x01, 0x41, 0x7F, 0x80, 0x95, 0x5C, 0xFF};

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(Runtime, CopiesAndFillsAsTheCLibrary) {
    for (size_t size : {0u, 1u, 7u, 8u}) {
        unsigned char mine[10], theirs[10];
        std::memset(mine, 0xAA, sizeof mine);
        std::memset(theirs, 0xAA, sizeof theirs);
        EXPECT_EQ(runtime_memcpy(mine + 1, kBytes, size), mine + 1);
        std::memcpy(theirs + 1, kBytes, size);
        EXPECT_EQ(std::memcmp(mine, theirs, sizeof mine), 0) << size;
        EXPECT_EQ(runtime_memset(mine + 1, 0x1FF, size), mine + 1);  // only the low byte counts
        std::memset(theirs + 1, 0x1FF, size);
        EXPECT_EQ(std::memcmp(mine, theirs, sizeof mine), 0) << size;
    }
}

TEST(Runtime, MovesOverlappingRangesWhole) {
    struct {
        size_t to, from, size;
    } cases[] = {{0, 3, 8}, {3, 0, 8}, {2, 2, 8}, {0, 1, 10}, {1, 0, 10}, {5, 0, 0}};
    for (const auto& c : cases) {
        std::vector<unsigned char> mine(12), theirs(12);
        for (size_t i = 0; i < mine.size(); ++i) mine[i] = theirs[i] = static_cast<unsigned char>(0x70 + i * 7);
        EXPECT_EQ(runtime_memmove(mine.data() + c.to, mine.data() + c.from, c.size), mine.data() + c.to);
        std::memmove(theirs.data() + c.to, theirs.data() + c.from, c.size);
        EXPECT_EQ(mine, theirs) << c.to << " <- " << c.from << " x" << c.size;
    }
}

TEST(Runtime, ComparesBytesUnsigned) {
    for (unsigned char a : kBytes) {
        for (unsigned char b : kBytes) {
            const unsigned char x[] = {0x41, a, 0x00}, y[] = {0x41, b, 0x00};
            EXPECT_EQ(Sign(runtime_memcmp(x, y, 3)), Sign(std::memcmp(x, y, 3))) << int(a) << " " << int(b);
            EXPECT_EQ(runtime_memcmp(x, y, 1), 0);
            const char* s = reinterpret_cast<const char*>(x);
            const char* t = reinterpret_cast<const char*>(y);
            EXPECT_EQ(Sign(runtime_strcmp(s, t)), Sign(std::strcmp(s, t))) << int(a) << " " << int(b);
        }
    }
    EXPECT_LT(runtime_strcmp("ab", "abc"), 0);
    EXPECT_GT(runtime_strcmp("abc", "ab"), 0);
    EXPECT_EQ(runtime_strcmp("", ""), 0);
}

TEST(Runtime, MeasuresAndSearchesTexts) {
    const char text[] = "C:\\a\\\x95\x5C.txt";
    EXPECT_EQ(runtime_strlen(text), std::strlen(text));
    EXPECT_EQ(runtime_strlen(""), 0u);
    // strnlen reads nothing at or past its bound: the bytes after it are not NUL-terminated.
    const char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(runtime_strnlen(unterminated, sizeof unterminated), 4u);
    EXPECT_EQ(runtime_strnlen(text, 3), 3u);
    EXPECT_EQ(runtime_strnlen(text, 100), std::strlen(text));
    const int searched[] = {'\\', 'a', 't', 'z', 0, 0x95, 0x5C + 0x100};
    for (int c : searched) {
        EXPECT_EQ(runtime_strrchr(text, c), std::strrchr(text, c)) << c;
    }
}

TEST(Runtime, ArgumentsFollowTheProgramName) {
    struct {
        const char* commandLine;
        const char* arguments;
    } cases[] = {
        {"vkupdate.exe", ""},
        {"vkupdate.exe /s", "/s"},
        {"vkupdate.exe \t  a b", "a b"},
        {"\"C:\\My Files\\vkupdate.exe\" /s \"x y\"", "/s \"x y\""},
        {"\"C:\\My Files\\vkupdate.exe\"", ""},
        {"\"C:\\unclosed quote /s", ""},
        {"C:\\\x95\x5C\\vkupdate.exe x", "x"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_STREQ(ProgramArguments(c.commandLine), c.arguments) << c.commandLine;
}

}  // namespace
