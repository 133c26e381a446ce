// A file's length as the steps read it: the whole 64-bit length of its directory entry, so that a
// file of 4 GiB and more never passes for one of its low 32 bits.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <string>

#include "platform/files.h"
#include "support/temp_machine.h"

namespace {

TEST(FileLength, TheWholeLengthOfAFileAndNothingElse) {
    vktest::TempMachine m;
    vktest::TempMachine::WriteHostFile(m.host("C:\\small.bin"), std::string(1000, 'x'));
    // A sparse file of 4 GiB and 1000 bytes: its low 32 bits say 1000.
    vktest::TempMachine::WriteHostFile(m.host("C:\\large.bin"), "");
    ASSERT_EQ(truncate(m.host("C:\\large.bin").c_str(), (uint64_t{1} << 32) + 1000), 0);
    ASSERT_TRUE(platform::CreateDirectoryA("C:\\folder", nullptr));
    struct Case {
        const char* path;
        int isFile;
        uint64_t length;  // FileLength's
        int has1000;      // HasLength(path, 1000)
    } cases[] = {
        {"C:\\small.bin", 1, 1000, 1},
        {"C:\\large.bin", 1, (uint64_t{1} << 32) + 1000, 0},
        {"C:\\folder", 0, 0, 0},
        {"C:\\missing.bin", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        uint64_t length = 0;
        EXPECT_EQ(FileLength(c.path, &length), c.isFile);
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(HasLength(c.path, 1000), c.has1000);
        EXPECT_EQ(HasLength(c.path, 999), 0);
    }
}

}  // namespace
