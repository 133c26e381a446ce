// The version calls on a PE image made by the PE writer: the FileVersion of the Japanese/
// Unicode string table, and the answers for files without one.
#include <cstring>
#include <string>
#include <vector>

#include "contract/fixture.h"
#include "platform/version.h"
#include "tools/pewriter/pe_writer.h"

namespace {

using Version = Contract;

const char kFileVersion[] = "\\StringFileInfo\\041104b0\\FileVersion";

std::string Image(const std::string& version, uint32_t size) {
    pewriter::PeSpec spec;
    spec.fileVersion = version;
    spec.size = size;
    std::string image, error;
    EXPECT_TRUE(pewriter::BuildPe(spec, &image, &error)) << error;
    return image;
}

// The FileVersion text of `name`, or "<none>" when a call says there is none.
std::string FileVersion(const std::string& path) {
    DWORD handle = 99;
    DWORD size = platform::GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0) return "<none>";
    EXPECT_EQ(handle, 0u);
    std::vector<char> block(size + 10);
    if (!platform::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return "<unread>";
    void* value = nullptr;
    UINT length = 0;
    if (!platform::VerQueryValueA(block.data(), kFileVersion, &value, &length) || value == nullptr) return "<none>";
    std::string text(static_cast<const char*>(value));
    EXPECT_GE(length, text.size());
    // Another string table is not the Japanese/Unicode one.
    void* other = nullptr;
    EXPECT_FALSE(platform::VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\FileVersion", &other, &length));
    return text;
}

TEST_F(Version, FileVersionOfTheJapaneseUnicodeTable) {
    const std::pair<std::string, uint32_t> cases[] = {
        {"3, 1, 6, 0", 4371968}, {"1, 8, 2, 0", 0}, {"3,1,6,0 ", 0}};
    for (const auto& c : cases) {
        MakeFile("VKTARN.EXE", Image(c.first, c.second));
        EXPECT_EQ(FileVersion(Path("VKTARN.EXE")), c.first);
    }
}

TEST_F(Version, FilesWithoutAVersionGiveNone) {
    MakeFile("plain.exe", Image("", 0));
    MakeFile("text.txt", "MZ but nothing more");
    MakeFile("empty.dll", "");
    for (const char* name : {"plain.exe", "text.txt", "empty.dll"}) {
        EXPECT_EQ(FileVersion(Path(name)), "<none>") << name;
    }
    DWORD handle = 0;
    platform::SetLastError(0);
    EXPECT_EQ(platform::GetFileVersionInfoSizeA(Path("missing.exe").c_str(), &handle), 0u);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
