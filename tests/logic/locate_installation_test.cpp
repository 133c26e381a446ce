// The App Paths route of LocateInstallation: the recorded folder is identified and written
// back. Every case here is found without the folder picker.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "discovery/known_versions.h"
#include "discovery/locate_installation.h"
#include "logic/discovery_support.h"
#include "logic/logic_fixture.h"
#include "text/path_text.h"

namespace {

class Locate : public Logic {
protected:
    void TearDown() override {
        vktest::RemoveAppPaths();
        Logic::TearDown();
    }
};

const std::string kHyo = "\x95\x5C";  // "表": its second byte is 0x5C

struct RouteCase {
    std::string label;
    DWORD type;         // of the stored "Path"
    std::string stored; // inside the sandbox
    std::string found;  // the located folder, inside the sandbox
    std::string path;   // "Path" as written back, inside the sandbox
};

TEST_F(Locate, RecordedFolderIsIdentifiedAndWrittenBack) {
    ASSERT_TRUE(platform::CreateDirectoryA(Path("Writer").c_str(), nullptr));
    ASSERT_TRUE(platform::CreateDirectoryA(Path("Writer\\Sub").c_str(), nullptr));
    ASSERT_TRUE(platform::CreateDirectoryA(Path("%Writer%").c_str(), nullptr));
    ASSERT_TRUE(platform::CreateDirectoryA(Path(kHyo).c_str(), nullptr));
    for (const char* folder : {"Writer", "%Writer%", "\x95\x5C"})
        MakeFile(std::string(folder) + "\\VKTARN.EXE", vktest::VersionedImage("3, 1, 5, 0", 4371968));
    const RouteCase cases[] = {
        {"plain", REG_SZ, "Writer", "Writer", "Writer"},
        {"trailing backslash", REG_SZ, "Writer\\", "Writer\\", "Writer"},
        {"sub-folder", REG_SZ, "Writer\\Sub", "Writer\\", "Writer"},
        {"expandable, kept unexpanded", REG_EXPAND_SZ, "%Writer%", "%Writer%", "%Writer%"},
        {"double-byte end", REG_SZ, kHyo, kHyo, kHyo},
        {"double-byte end and backslash", REG_SZ, kHyo + "\\", kHyo + "\\", kHyo},
    };
    for (const RouteCase& c : cases) {
        SCOPED_TRACE(c.label);
        std::string stored = Path(c.stored);
        // Route 1 must succeed here: a failure would open the real folder picker.
        char probe[PATH_BUFFER_SIZE];
        std::strcpy(probe, stored.c_str());
        uint32_t current = 7;
        ASSERT_EQ(IdentifyInstalledVersion(probe, sizeof probe, &current, nullptr), 1);
        vktest::WriteAppPath(c.type, stored + std::string(1, '\0'));

        char folder[PATH_BUFFER_SIZE];
        std::memset(folder, 'x', sizeof folder);
        current = 7;
        EXPECT_EQ(LocateInstallation(nullptr, folder, sizeof folder, &current, nullptr), 1);
        EXPECT_EQ(current, 0u);
        EXPECT_EQ(folder, Path(c.found));
        vktest::RegValue path = vktest::ReadValue(HKEY_LOCAL_MACHINE, vktest::kAppPathsKey, "Path");
        vktest::RegValue exe = vktest::ReadValue(HKEY_LOCAL_MACHINE, vktest::kAppPathsKey, "");
        // Written with the length of the text, without its NUL.
        EXPECT_EQ(path.type, c.type);
        EXPECT_EQ(path.data, Path(c.path));
        EXPECT_EQ(exe.type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(exe.data, Path(c.path) + "\\VKTARN.EXE");
    }
}

TEST_F(Locate, CurrentBuildIsReportedAsCurrent) {
    MakeFile("VKTARN.EXE", vktest::VersionedImage("3, 1, 6, 0", 4371968));
    vktest::WriteAppPath(REG_SZ, folder_ + std::string(1, '\0'));
    char folder[PATH_BUFFER_SIZE];
    uint32_t current = 0;
    char probe[PATH_BUFFER_SIZE];
    std::strcpy(probe, folder_.c_str());
    ASSERT_EQ(IdentifyInstalledVersion(probe, sizeof probe, &current, nullptr), 1);
    current = 0;
    EXPECT_EQ(LocateInstallation(nullptr, folder, sizeof folder, &current, nullptr), 1);
    EXPECT_EQ(current, 1u);
    EXPECT_EQ(folder, folder_);
}

}  // namespace
