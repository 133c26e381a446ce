// VerInstallFileA as the installation engine calls it: an SZDD file is expanded and any other
// file copied into the destination folder under the given name, replacing a file there.
#include <cstdint>
#include <string>

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

    MakeFile("vk001.tmp", Szdd("abc", 3));
    EXPECT_NE(Install("vk001.tmp", Path("none")), 0u);
    EXPECT_EQ(platform::GetFileAttributesA(Path("none").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
