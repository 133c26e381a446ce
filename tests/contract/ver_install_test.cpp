// VerInstallFileA as the installation engine calls it: an SZDD file is expanded and any other
// file copied into the destination folder under the given name, replacing a file there.
#include <cstdint>
#include <string>
#include <vector>

#include "contract/fixture.h"
#include "platform/version.h"

namespace {

using namespace std::string_literals;

// The SZDD form of `data` made by hand from the published format: header, then groups of a
// flag byte (bit set = literal) and up to eight literal bytes. `stated` goes into the header.
std::string Szdd(const std::string& data, uint32_t stated) {
    std::string out("SZDD\x88\xF0\x27\x33", 8);
    out += 'A';
    out += '\0';
    for (int i = 0; i < 4; ++i) out += static_cast<char>((stated >> (8 * i)) & 0xFF);
    for (size_t at = 0; at < data.size(); at += 8) {
        size_t n = data.size() - at < 8 ? data.size() - at : 8;
        out += static_cast<char>((1u << n) - 1);
        out += data.substr(at, n);
    }
    return out;
}

class VerInstall : public Contract {
protected:
    void SetUp() override {
        Contract::SetUp();
        ASSERT_TRUE(platform::CreateDirectoryA(Path("dst").c_str(), nullptr));
    }
    void TearDown() override {
        for (const char* name : {"dst\\vk001.tmp", "dst\\vk002.tmp"}) {
            platform::SetFileAttributesA(Path(name).c_str(), FILE_ATTRIBUTE_NORMAL);
            platform::DeleteFileA(Path(name).c_str());
        }
        platform::RemoveDirectoryA(Path("dst").c_str());
        Contract::TearDown();
    }
    // The names in a folder of the test's, without "." and "..".
    std::vector<std::string> Names(const std::string& folder) {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE search = platform::FindFirstFileA(Path(folder + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            std::string name = found.cFileName;
            if (name != "." && name != "..") names.push_back(name);
        } while (platform::FindNextFileA(search, &found));
        platform::FindClose(search);
        return names;
    }
    DWORD Install(const std::string& name, const std::string& destination) {
        char temp[270] = {};
        UINT length = 260;
        return platform::VerInstallFileA(VIFF_FORCEINSTALL, name.c_str(), name.c_str(), folder_.c_str(),
                                         destination.c_str(), nullptr, temp, &length);
    }
};

TEST_F(VerInstall, ExpandsSzddReplacingTheDestinationsFile) {
    std::string text = "MZ\x90 the new module, seventeen bytes and more " + std::string(300, 'x');
    MakeFile("vk001.tmp", Szdd(text, static_cast<uint32_t>(text.size())));
    MakeFile("dst\\vk001.tmp", std::string(5000, 'o'));  // an earlier run's leftover, longer
    EXPECT_EQ(Install("vk001.tmp", Path("dst")), 0u);
    EXPECT_EQ(ReadAll("dst\\vk001.tmp"), text);
    EXPECT_EQ(ReadAll("vk001.tmp"), Szdd(text, static_cast<uint32_t>(text.size()))) << "source kept";
    // A destination folder with its trailing backslash is the same folder.
    EXPECT_EQ(Install("vk001.tmp", Path("dst") + "\\"), 0u);
    EXPECT_EQ(ReadAll("dst\\vk001.tmp"), text);
}

TEST_F(VerInstall, ExpandsMatchesAgainstTheWindow) {
    // Eight literals, then two matches: the eight bytes again (window position 4080 = 0xFF0,
    // length 8) and five of the spaces the window starts with (position 16, length 5).
    std::string stream = "SZDD\x88\xF0\x27\x33" "A\0\x15\0\0\0"s;
    stream += "\xFF" "ABCDEFGH" "\x00" "\xF0\xF5" "\x10\x02"s;
    MakeFile("vk001.tmp", stream);
    EXPECT_EQ(Install("vk001.tmp", Path("dst")), 0u);
    EXPECT_EQ(ReadAll("dst\\vk001.tmp"), "ABCDEFGHABCDEFGH     ");
}

TEST_F(VerInstall, CopiesAnyOtherFileUnchanged) {
    const std::string cases[] = {"[Settings]\r\nVersion=3160\r\n", "", "SZDD\x88\xF0"s,
                                 "SZ \x88\xF0\x27\x33\xD1 not a header"s};
    for (const std::string& bytes : cases) {
        MakeFile("vk002.tmp", bytes);
        EXPECT_EQ(Install("vk002.tmp", Path("dst")), 0u) << bytes;
        EXPECT_EQ(ReadAll("dst\\vk002.tmp"), bytes);
    }
}

TEST_F(VerInstall, MissingSourceOrFolderFailsAndMakesNothing) {
    DWORD result = Install("vk001.tmp", Path("dst"));
    EXPECT_NE(result, 0u);
    EXPECT_NE(result & VIF_CANNOTREADSRC, 0u);
    EXPECT_EQ(ReadAll("dst\\vk001.tmp"), "<missing>");

    // The source is checked first: a missing one is reported whatever the destination.
    EXPECT_NE(Install("vk001.tmp", Path("none")) & VIF_CANNOTREADSRC, 0u);
    MakeFile("vk001.tmp", Szdd("abc", 3));
    EXPECT_NE(Install("vk001.tmp", Path("none")), 0u);
    EXPECT_EQ(platform::GetFileAttributesA(Path("none").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace

// A destination another program holds: without sharing delete it cannot be deleted; sharing
// delete it is deleted, but the new file cannot take its name, and the old one is gone once
// the program closes it. No temp file is left either way. A source held without sharing reads
// cannot be read.
TEST_F(VerInstall, HeldFilesAreAnsweredAsWindowsAnswers) {
    MakeFile("vk002.tmp", "new bytes");
    MakeFile("dst\\vk002.tmp", "old bytes");
    HANDLE h = platform::CreateFileA(Path("dst\\vk002.tmp").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char temp[270] = {};
    UINT length = 260;
    DWORD result = platform::VerInstallFileA(VIFF_FORCEINSTALL, "vk002.tmp", "vk002.tmp", folder_.c_str(),
                                             Path("dst").c_str(), nullptr, temp, &length);
    platform::CloseHandle(h);
    EXPECT_EQ(result & ~static_cast<DWORD>(VIF_TEMPFILE), static_cast<DWORD>(VIF_CANNOTDELETE | VIF_SHARINGVIOLATION));
    EXPECT_EQ(ReadAll("dst\\vk002.tmp"), "old bytes");
#ifndef _WIN32
    // Windows documents VIF_TEMPFILE for the copy it leaves when the old file cannot go (Wine
    // removes its copy and says nothing): the emulated machine follows the documentation.
    EXPECT_TRUE(result & VIF_TEMPFILE);
#endif
    if (result & VIF_TEMPFILE) {
        // The name in the buffer, its length (NUL included) given back, the new bytes in it.
        EXPECT_EQ(length, std::string(temp).size() + 1);
        EXPECT_EQ(ReadAll("dst\\" + std::string(temp)), "new bytes");
        platform::DeleteFileA(Path("dst\\" + std::string(temp)).c_str());
    }
    EXPECT_EQ(Names("dst"), std::vector<std::string>{"vk002.tmp"});

    h = platform::CreateFileA(Path("dst\\vk002.tmp").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Install("vk002.tmp", Path("dst")), static_cast<DWORD>(VIF_CANNOTRENAME));
    platform::CloseHandle(h);
    EXPECT_TRUE(Names("dst").empty()) << "the old file went with the last handle, the new one never came";

    h = platform::CreateFileA(Path("vk002.tmp").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(Install("vk002.tmp", Path("dst")) & VIF_CANNOTREADSRC);
    platform::CloseHandle(h);
    EXPECT_TRUE(Names("dst").empty());
}

// A damaged stream goes as far as it goes, whatever length its header states, and the call
// succeeds: the caller's own check of the length is what guards a damaged payload. A file
// without a whole header is copied unchanged, a stream of another mode expands to nothing.
TEST_F(VerInstall, DamagedStreamsInstallWhatTheyHold) {
    const std::string data(40, 'd');
    const std::string stream = Szdd(data, 40);
    std::string otherMode = stream;
    otherMode[8] = 'B';
    const struct {
        const char* what;
        std::string bytes;
        std::string installed;
    } cases[] = {
        {"stream cut off", stream.substr(0, 30), std::string(14, 'd')},
        {"header states more", Szdd(data, 41), data},
        {"header states less", Szdd(data, 39), data},
        {"header cut short", stream.substr(0, 12), stream.substr(0, 12)},
        {"another mode", otherMode, ""},
    };
    for (const auto& c : cases) {
        MakeFile("dst\\vk001.tmp", "old");
        MakeFile("vk001.tmp", c.bytes);
        EXPECT_EQ(Install("vk001.tmp", Path("dst")), 0u) << c.what;
        EXPECT_EQ(ReadAll("dst\\vk001.tmp"), c.installed) << c.what;
        EXPECT_EQ(Names("dst"), std::vector<std::string>{"vk001.tmp"}) << c.what << ": no partial file";
    }
}
