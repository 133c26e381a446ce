#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "logic/logic_fixture.h"
#include "text/path_text.h"

namespace {

using PathText = Logic;

// "ソ" and "表" end in the byte 0x5C in code page 932; "ア" does not.
const std::string kSo = "\x83\x5C";
const std::string kHyo = "\x95\x5C";

struct JoinCase {
    std::string folder, name, joined;
};

TEST_F(PathText, JoinInsertsOneSeparatorByCharacter) {
    const JoinCase cases[] = {
        {"C:\\Tools\\Writer", "VKTARN.EXE", "C:\\Tools\\Writer\\VKTARN.EXE"},
        {"C:\\Tools\\Writer\\", "VKTARN.EXE", "C:\\Tools\\Writer\\VKTARN.EXE"},
        {"C:/x/", "a", "C:/x/a"},
        {"D:", "VKTARN.EXE", "D:\\VKTARN.EXE"},
        {"", "VKTARN.EXE", "VKTARN.EXE"},
        {"C:\\" + kSo, "a", "C:\\" + kSo + "\\a"},
        {"C:\\" + kHyo + "\\", "a", "C:\\" + kHyo + "\\a"},
    };
    for (const JoinCase& c : cases) {
        char out[270];
        ASSERT_EQ(JoinPath(out, sizeof out, c.folder.c_str(), c.name.c_str()), 1) << c.folder;
        EXPECT_EQ(out, c.joined) << c.folder;
    }
}

TEST_F(PathText, WritesNothingPastTheBuffer) {
    char out[12];
    std::fill(out, out + sizeof out, 'x');
    EXPECT_EQ(JoinPath(out, 11, "C:\\abcd", "efg"), 0);  // 11 bytes with the NUL: one too many
    EXPECT_STREQ(out, "");
    EXPECT_EQ(out[11], 'x');
    EXPECT_EQ(JoinPath(out, 12, "C:\\abcd", "efg"), 1);
    EXPECT_STREQ(out, "C:\\abcd\\efg");

    char text[8] = "abc";
    EXPECT_EQ(AppendText(text, sizeof text, "defgh"), 0);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(AppendText(text, sizeof text, "defg"), 1);
    EXPECT_STREQ(text, "abcdefg");
    EXPECT_EQ(CopyText(text, sizeof text, "12345678"), 0);
    EXPECT_STREQ(text, "");
}

TEST_F(PathText, DriveAndDirectoryKeepTheSeparatorAndWholeCharacters) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\Tools\\Writer", "C:\\Tools\\"},
        {"C:\\Writer", "C:\\"},
        {"C:\\Tools\\Writer\\", "C:\\Tools\\Writer\\"},
        {"D:", "D:"},
        {"Writer", ""},
        {"", ""},
        {"C:\\" + kSo, "C:\\"},  // the trail byte 0x5C is no separator
        {"C:\\a" + kHyo + "\\b", "C:\\a" + kHyo + "\\"},
    };
    for (const auto& c : cases) {
        char out[270];
        ASSERT_EQ(DriveAndDirectory(c.first.c_str(), out, sizeof out), 1) << c.first;
        EXPECT_EQ(out, c.second) << c.first;
    }
    // In place, and a directory longer than 255 bytes cut at a character boundary.
    std::string longPath = "C:\\" + std::string(253, 'a') + kSo + "\\b";
    char buffer[270];
    ASSERT_EQ(CopyText(buffer, sizeof buffer, longPath.c_str()), 1);
    ASSERT_EQ(DriveAndDirectory(buffer, buffer, sizeof buffer), 1);
    EXPECT_EQ(buffer, "C:\\" + std::string(253, 'a'));
}

TEST_F(PathText, DriveRootOfDrivesAndShares) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\Program Files\\Writer", "C:\\"},
        {"d:", "d:\\"},
        {"\\\\server\\share\\data\\x", "\\\\server\\share\\"},
        {"\\\\server\\share", "\\\\server\\share\\"},
        {"\\\\" + kSo + "\\" + kHyo + "\\x", "\\\\" + kSo + "\\" + kHyo + "\\"},  // 0x5C trail bytes
        {"\\\\server", ""},  // no share
        {"\\\\server\\", ""},
        {"\\\\\\share", ""},  // no server
        {"Writer\\x", ""},
        {"\\Writer", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        char out[270];
        EXPECT_EQ(DriveRoot(c.first.c_str(), out, sizeof out), c.second.empty() ? 0 : 1) << c.first;
        EXPECT_EQ(out, c.second) << c.first;
    }
    char small[4];
    EXPECT_EQ(DriveRoot("C:\\x", small, sizeof small), 1);
    EXPECT_EQ(DriveRoot("\\\\ab\\c", small, sizeof small), 0);
    EXPECT_STREQ(small, "");
}

}  // namespace
