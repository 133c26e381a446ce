#include <gtest/gtest.h>

#include <cstring>

#include "emulator/machine/host.h"
#include "support/temp_machine.h"
#include "text/load_text.h"
#include "text/text_ids.h"

namespace {

TEST(LoadText, AlternatesBetweenTwoBuffers) {
    vktest::TempMachine machine;
    HINSTANCE module = platform::host::ModuleHandle();
    const char* caption = LoadText(module, IDS_CAPTION);
    const char* question = LoadText(module, IDS_RESTART_QUESTION);
    EXPECT_NE(caption, question);
    EXPECT_STREQ(caption, "TARN \x83\x41\x83\x62\x83\x76\x83\x66\x81\x5B\x83\x5E\x81\x5B");  // TARN アップデーター
    EXPECT_EQ(std::strncmp(question, "\x83\x5C\x83\x74\x83\x67", 6), 0);                  // ソフト...
    // Both stay valid together; the third call reuses the first call's buffer.
    const char* third = LoadText(module, IDS_SOFTWARE_KEY);
    EXPECT_EQ(third, caption);
    EXPECT_STREQ(third, "Software");
    EXPECT_EQ(std::strncmp(question, "\x83\x5C\x83\x74\x83\x67", 6), 0);
}

TEST(LoadText, MissingIdGivesEmptyTextInTheNextBuffer) {
    vktest::TempMachine machine;
    HINSTANCE module = platform::host::ModuleHandle();
    const char* first = LoadText(module, IDS_PROXY);
    const char* missing = LoadText(module, 9999);
    EXPECT_NE(first, missing);
    EXPECT_STREQ(missing, "");
    EXPECT_STREQ(first, "Proxy");
}

TEST(LoadText, LongestTextArrivesWholeWithItsEmptyLine) {
    vktest::TempMachine machine;
    const char* text = LoadText(platform::host::ModuleHandle(), IDS_NOT_INSTALLED);
    size_t length = std::strlen(text);
    EXPECT_GT(length, 200u);
    EXPECT_LT(length, 260u);
    EXPECT_NE(std::strstr(text, "\n\n"), nullptr);
    EXPECT_EQ(std::strchr(text, '\r'), nullptr);
    // It ends with the last sentence, not cut.
    EXPECT_STREQ(text + length - 8, "\x89\xBA\x82\xB3\x82\xA2\x81\x42");  // 下さい。
}

}  // namespace
