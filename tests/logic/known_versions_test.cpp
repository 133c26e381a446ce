#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "discovery/known_versions.h"

namespace {

// "a, b, c, d" as one comparable number; -1 when the text is not spelled that way.
long VersionNumber(const char* text) {
    int a = 0, b = 0, c = 0, d = 0, used = 0;
    if (std::sscanf(text, "%d, %d, %d, %d%n", &a, &b, &c, &d, &used) != 4 || text[used] != '\0') return -1;
    char again[66];
    std::snprintf(again, sizeof again, "%d, %d, %d, %d", a, b, c, d);
    if (std::strcmp(again, text) != 0) return -1;
    return ((a * 100L + b) * 100L + c) * 100L + d;
}

TEST(KnownVersions, TableHoldsOneCurrentBuildAfterEveryOlderOne) {
    ASSERT_EQ(sizeof KnownVersionTable / sizeof KnownVersionTable[0], 36u);
    long previous = -1;
    for (int i = 0; i < KNOWN_VERSION_COUNT; ++i) {
        const KnownVersionEntry& e = KnownVersionTable[i];
        SCOPED_TRACE(i);
        EXPECT_STREQ(e.fileName, "VKTARN.EXE");
        long number = VersionNumber(e.versionText);
        ASSERT_GE(number, 0) << e.versionText;
        EXPECT_GE(number, previous);  // oldest first
        EXPECT_EQ(e.isCurrent, i == KNOWN_VERSION_COUNT - 1 ? 1u : 0u);
        if (number == previous) {
            // A text that stands twice is told apart by two exact, different sizes.
            EXPECT_NE(e.expectedSize, 0u);
            EXPECT_NE(KnownVersionTable[i - 1].expectedSize, 0u);
            EXPECT_NE(e.expectedSize, KnownVersionTable[i - 1].expectedSize);
        }
        previous = number;
    }
    // The current build is newer than every other.
    EXPECT_GT(VersionNumber(KnownVersionTable[35].versionText), VersionNumber(KnownVersionTable[34].versionText));
}

}  // namespace
