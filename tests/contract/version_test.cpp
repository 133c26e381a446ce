// The version calls on a PE image made by the PE writer: the FileVersion of the Japanese/
// Unicode string table, and the answers for files without one.
#include <cstring>
#include <string>
#include <vector>

#include "contract/fixture.h"
#include "platform/version.h"
#include "formats/pe_writer.h"

namespace {

using Version = Contract;

const char kFileVersion[] = "\\StringFileInfo\\041104b0\\FileVersion";

std::string Image(const std::string& version, uint32_t size) {
    pewriter::PeLayout layout;
    layout.fileVersion = version;
    layout.size = size;
    std::string image, error;
    EXPECT_TRUE(pewriter::BuildPe(layout, &image, &error)) << error;
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

namespace {

// A failed query leaves the caller's pointer and length as they were; a block answers with
// length 0; a file without a version resource has no version data (1812).
TEST_F(Version, QueriesAnswerAsDocumented) {
    MakeFile("VKTARN.EXE", Image("3, 1, 6, 0", 0));
    DWORD handle = 0;
    DWORD size = platform::GetFileVersionInfoSizeA(Path("VKTARN.EXE").c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(platform::GetFileVersionInfoA(Path("VKTARN.EXE").c_str(), 0, size, block.data()));
    char sentinel = 0;
    void* value = &sentinel;
    UINT length = 77;
    EXPECT_FALSE(platform::VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\FileVersion", &value, &length));
    EXPECT_EQ(value, static_cast<void*>(&sentinel));
#ifndef _WIN32
    // Windows leaves the length of a failed query as the caller set it (Wine zeroes it).
    EXPECT_EQ(length, 77u);
#endif
    for (const char* path : {"\\StringFileInfo", "\\StringFileInfo\\041104b0"}) {
        length = 77;
        EXPECT_TRUE(platform::VerQueryValueA(block.data(), path, &value, &length)) << path;
#ifndef _WIN32
        // Microsoft documents a length of 0 as "no value available" (Wine leaves the length
        // as it was): the emulated machine follows the documentation.
        EXPECT_EQ(length, 0u) << path;
#endif
    }

    MakeFile("plain.dll", Image("", 0));
    platform::SetLastError(0);
    EXPECT_EQ(platform::GetFileVersionInfoSizeA(Path("plain.dll").c_str(), &handle), 0u);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
}

// A bare file name is looked for where the module loader looks: the system folder among them.
TEST_F(Version, ABareNameIsFoundInTheSystemFolder) {
    char system[MAX_PATH] = {};
    ASSERT_GT(platform::GetSystemDirectoryA(system, sizeof system), 0u);
    const std::string name = "vkcontract-bare.dll";
    const std::string path = std::string(system) + "\\" + name;
    const std::string image = Image("1, 2, 3, 4", 0);
    HANDLE h = platform::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    platform::WriteFile(h, image.data(), static_cast<DWORD>(image.size()), &written, nullptr);
    platform::CloseHandle(h);
    EXPECT_EQ(FileVersion(name), "1, 2, 3, 4");
    platform::DeleteFileA(path.c_str());
}

}  // namespace
