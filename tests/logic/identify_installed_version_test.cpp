#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "discovery/known_versions.h"
#include "logic/discovery_support.h"
#include "logic/logic_fixture.h"
#include "payload/finish_interrupted_replacement.h"
#include "text/path_text.h"

namespace {

// The folders and names the probes were prepared with, in order.
std::vector<std::string> prepared;
int RecordProbe(const char* folder, const char* executableName) {
    prepared.push_back(std::string(folder) + " " + executableName);
    return 0;
}

using Identify = Logic;

const std::string kSo = "\x83\x5C";  // "ソ": its second byte is 0x5C

struct BuildCase {
    std::string version;
    uint32_t size;
    int matches;
    uint32_t current;
};

TEST_F(Identify, VersionTextAndSizeAgainstTheTable) {
    const BuildCase cases[] = {
        {"3, 1, 6, 0", 4371968, 1, 1},
        {"3, 1, 6, 0", 4371969, 0, 0},
        {"3, 1, 5, 0", 4371968, 1, 0},
        {"1, 9, 2, 0", 3277824, 1, 0},
        {"1, 9, 2, 0", 3278336, 1, 0},
        {"1, 9, 2, 0", 3278080, 0, 0},  // neither twin
        {"1, 8, 2, 0", 0, 1, 0},        // any size
        {"3,1,6,0", 4371968, 0, 0},     // spelled without blanks
        {"3, 1, 6, 0 ", 4371968, 0, 0}, // a trailing blank
        {"", 4371968, 0, 0},            // no version resource
    };
    for (const BuildCase& c : cases) {
        SCOPED_TRACE(c.version + " / " + std::to_string(c.size));
        MakeFile("VKTARN.EXE", vktest::VersionedImage(c.version, c.size));
        uint32_t current = 7;
        EXPECT_EQ(MatchKnownVersion(folder_.c_str(), &current), c.matches);
        if (c.matches) {
            EXPECT_EQ(current, c.current);
        }
        current = 7;
        char folder[PATH_BUFFER_SIZE];
        ASSERT_LT(folder_.size(), sizeof folder);
        std::strcpy(folder, folder_.c_str());
        EXPECT_EQ(IdentifyInstalledVersion(folder, sizeof folder, &current, nullptr), c.matches);
        EXPECT_EQ(current, c.current);  // a failed identification leaves 0
    }
}

struct ParentCase {
    std::string name;    // the folder probed, inside the sandbox
    std::string parent;  // what the buffer holds afterwards, inside the sandbox
    int matches;
};

TEST_F(Identify, ParentFolderIsProbedSecond) {
    MakeFile("VKTARN.EXE", vktest::VersionedImage("3, 1, 5, 0", 4371968));
    ASSERT_TRUE(platform::CreateDirectoryA(Path("Sub").c_str(), nullptr));
    MakeFile("Sub\\VKTARN.EXE", vktest::VersionedImage("", 0));  // no version resource
    ASSERT_TRUE(platform::CreateDirectoryA(Path("Empty").c_str(), nullptr));
    ASSERT_TRUE(platform::CreateDirectoryA(Path("A" + kSo).c_str(), nullptr));
    // A folder text so long that the file name no longer fits behind it: only the parent.
    std::string tooLong(259 - folder_.size() - 1, 'a');
    const ParentCase cases[] = {
        {"Sub", "", 1},            // found in the parent, which keeps its backslash
        {"Empty\\", "Empty\\", 0}, // its own parent: unchanged
        {"A" + kSo, "", 1},        // the 0x5C of the last character is no separator
        {tooLong, "", 1},
    };
    for (const ParentCase& c : cases) {
        SCOPED_TRACE(c.name);
        char folder[PATH_BUFFER_SIZE];
        std::string text = Path(c.name);
        ASSERT_LT(text.size(), 260u);
        std::strcpy(folder, text.c_str());
        uint32_t current = 7;
        prepared.clear();
        EXPECT_EQ(IdentifyInstalledVersion(folder, sizeof folder, &current, RecordProbe), c.matches);
        EXPECT_EQ(folder, folder_ + "\\" + c.parent);
        EXPECT_EQ(current, 0u);
        // Each probe prepared first: the folder, then its parent.
        EXPECT_EQ(prepared, (std::vector<std::string>{text + " VKTARN.EXE", folder_ + "\\" + c.parent + " VKTARN.EXE"}));
    }
}

TEST_F(Identify, FolderEndingInADoubleByteCharacterIsJoinedWhole) {
    ASSERT_TRUE(platform::CreateDirectoryA(Path(kSo).c_str(), nullptr));
    MakeFile(kSo + "\\VKTARN.EXE", vktest::VersionedImage("3, 1, 6, 0", 4371968));
    char folder[PATH_BUFFER_SIZE];
    std::strcpy(folder, Path(kSo).c_str());
    uint32_t current = 0;
    EXPECT_EQ(IdentifyInstalledVersion(folder, sizeof folder, &current, nullptr), 1);
    EXPECT_EQ(current, 1u);
    EXPECT_EQ(folder, Path(kSo));  // the first probe matched
}

struct InterruptedCase {
    const char* name;
    bool oldExecutable;    // VKTARN.EXE of build 3.15 still there
    uint32_t tempLength;   // vk002.tmp: the new build cut to this length; 0 for none
    int matches;
    uint32_t current;
    bool tempRenamed;
};

TEST_F(Identify, ANewExecutableLeftUnderItsTempNameIsPutInPlaceFirst) {
    const InterruptedCase cases[] = {
        {"renamed, then identified", false, 4371968, 1, 1, true},
        {"cut short: left alone", false, 4371967, 0, 0, false},
        {"the old one still there: left alone", true, 4371968, 1, 0, false},
        {"nothing to put in place", false, 0, 0, 0, false},
    };
    for (const InterruptedCase& c : cases) {
        SCOPED_TRACE(c.name);
        platform::DeleteFileA(Path("VKTARN.EXE").c_str());
        platform::DeleteFileA(Path("vk002.tmp").c_str());
        if (c.oldExecutable) MakeFile("VKTARN.EXE", vktest::VersionedImage("3, 1, 5, 0", 4371968));
        if (c.tempLength != 0) MakeFile("vk002.tmp", vktest::VersionedImage("3, 1, 6, 0", c.tempLength));
        char folder[PATH_BUFFER_SIZE];
        std::strcpy(folder, folder_.c_str());
        uint32_t current = 7;
        EXPECT_EQ(IdentifyInstalledVersion(folder, sizeof folder, &current, FinishInterruptedReplacement), c.matches);
        EXPECT_EQ(current, c.current);
        EXPECT_EQ(platform::GetFileAttributesA(Path("vk002.tmp").c_str()) == INVALID_FILE_ATTRIBUTES,
                  c.tempRenamed || c.tempLength == 0);
    }
}

}  // namespace
