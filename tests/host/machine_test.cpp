// The emulated machine's description: machine.ini, the version it reports, faults by name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "emulator/machine/host.h"
#include "platform/system.h"
#include "support/temp_folder.h"
#include "support/temp_machine.h"

namespace {

namespace host = platform::host;

TEST(Machine, VersionComesFromMachineIniWithTheRecordSizeChecked) {
    vktest::TempMachine m("; a Windows 98 machine\n[windows]\nplatform = 1\nmajor=4\nminor = 10\n");
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(platform::GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, 1u);
    EXPECT_EQ(info.dwMajorVersion, 4u);
    EXPECT_EQ(info.dwMinorVersion, 10u);
    // The extended record is known from Windows 2000 on only.
    unsigned char record[156] = {};
    reinterpret_cast<OSVERSIONINFOA*>(record)->dwOSVersionInfoSize = sizeof record;
    EXPECT_FALSE(platform::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(record)));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(Machine, ACommentIsAWholeLine) {
    vktest::TempMachine m("[windows]\n  ; indented comment\n[folders]\ndocuments = C:\\Docs;Old\n");
    EXPECT_EQ(host::Config().documents, "C:\\Docs;Old");
    host::MachineConfig config;
    std::string error;
    EXPECT_FALSE(host::ParseMachineIni("[windows]\nplatform = 1 ; 9x\n", "m.ini", &config, &error));
    EXPECT_EQ(error, "m.ini:2: platform must be 1 or 2");
}

// Every key has its default; one given twice is refused, naming both lines, whatever the
// two say.
TEST(Machine, AKeyGivenTwiceIsRefused) {
    struct Case {
        const char* text;
        const char* error;  // "" when it reads
    } cases[] = {
        {"[windows]\nplatform = 1\nmajor = 4\nplatform = 1\n",
         "m.ini:4: key \"platform\" given twice in [windows] (first on line 2)"},
        {"[folders]\ntemp = C:\\T\n[windows]\nmajor = 4\n[folders]\ntemp = C:\\U\n",
         "m.ini:6: key \"temp\" given twice in [folders] (first on line 2)"},
        {"[windows]\nminor = 1\n[folders]\nminor = C:\\x\n", "m.ini:4: unknown key \"minor\" in [folders]"},
        {"[windows]\n[windows]\nmajor = 4\n", ""},
        {"", ""},
        // A drive is one letter whatever its case, its size a number of bytes above 0.
        {"[drives]\nc = 4096\nC = 8192\n", "m.ini:3: key \"C\" given twice in [drives] (first on line 2)"},
        {"[drives]\nCD = 4096\n", "m.ini:2: a drive is a letter A to Z, not \"CD\""},
        {"[drives]\nD = 0\n", "m.ini:2: the size of drive D: must be a number of bytes above 0"},
        {"[drives]\nD = -5\n", "m.ini:2: the size of drive D: must be a number of bytes above 0"},
        {"[drives]\nd = 8589934592\n", ""},
    };
    for (const Case& c : cases) {
        host::MachineConfig config;
        std::string error;
        EXPECT_EQ(host::ParseMachineIni(c.text, "m.ini", &config, &error), *c.error == '\0') << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(Machine, TheCodePageOfTheFileConvertsItsFoldersWhateverMachineIsOpen) {
    vktest::TempMachine m("[windows]\ncodepage = 1252\n");
    host::MachineConfig config;
    std::string error;
    // temp = C:\表 (0x95 0x5C in code page 932): its last byte is no separator.
    ASSERT_TRUE(host::ParseMachineIni("[windows]\ncodepage = 932\n[folders]\ntemp = C:\\\xE8\xA1\xA8\n", "m.ini",
                                      &config, &error)) << error;
    EXPECT_EQ(config.temp, "C:\\\x95\x5C\\");
    EXPECT_EQ(host::Config().codepage, 1252u);  // the open machine is left alone
}

TEST(Machine, DefaultsAreAJapaneseXpAdministrator) {
    vktest::TempMachine m;
    EXPECT_EQ(host::Config().platformId, 2u);
    EXPECT_EQ(host::Config().major, 5u);
    EXPECT_EQ(host::Config().minor, 1u);
    EXPECT_EQ(platform::GetACP(), 932u);
    EXPECT_TRUE(host::Config().admin);
    char temp[MAX_PATH];
    EXPECT_EQ(platform::GetTempPathA(sizeof temp, temp), 16u);
    EXPECT_STREQ(temp, "C:\\WINDOWS\\TEMP\\");
}

TEST(Machine, FoldersAreReadInUtf8AndKeptInTheCodePage) {
    vktest::TempMachine m("[folders]\ntemp = D:\\作業\ndocuments = C:\\文書\n");
    EXPECT_EQ(host::Config().temp, "D:\\\x8D\xEC\x8B\xC6\\");  // a trailing backslash is added
    EXPECT_EQ(host::Config().documents, "C:\\\x95\xB6\x8F\x91");
}

TEST(Machine, MalformedIniNamesFileAndLineAndOpensNothing) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"[windows]\nplatform = 3\n", "machine.ini:2: platform must be 1 or 2"},
        {"[windows]\n\nmajr = 5\n", "machine.ini:3: unknown key \"majr\" in [windows]"},
        {"[window]\n", "machine.ini:1: unknown section [window]"},
        {"major = 5\n", "machine.ini:1: key \"major\" outside a section"},
        {"[folders]\ntemp = WINDOWS\n", "machine.ini:2: temp must be a full Windows path"},
        {"[windows]\ncodepage = 99999\n", "machine.ini:2: codepage 99999 is not a code page the machine can use: "
                                          "give a Windows ANSI code page such as 932"},
        {"[windows]\ncodepage = 12345\n", "machine.ini: codepage 12345 is not a code page the machine can use"},
        {"[windows]\nadmin\n", "machine.ini:2: expected key = value"},
    };
    vktest::TempMachine m;
    for (const Case& c : cases) {
        vktest::TempMachine::WriteHostFile(m.dir() + "/machine.ini", c.text);
        std::string error;
        EXPECT_FALSE(host::OpenMachine(m.dir(), &error)) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(vktest::TempMachine::ReadHostFile(m.dir() + "/machine.ini"), c.text) << "never rewritten";
    }
}

TEST(Machine, MissingMachineSaysHowToMakeOne) {
    std::string error;
    EXPECT_FALSE(host::OpenMachine("/nonexistent/vk", &error));
    EXPECT_NE(error.find("vkmachine create"), std::string::npos) << error;
    EXPECT_FALSE(host::MachineIsOpen());
}

// A machine whose files cannot be read is damaged, not missing and not empty: it is refused
// with what is wrong.
TEST(Machine, DamagedMachinesAreRefusedAsWhatTheyAre) {
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        void (*damage)(const std::string& dir);
        const char* message;  // after the machine's folder
    } cases[] = {
        {"a file as the machine", [](const std::string& dir) { fs::remove_all(dir), std::ofstream(dir) << "x"; },
         " is not a folder: a machine is a folder made by vkmachine create"},
        {"no registry.reg", [](const std::string& dir) { fs::remove(dir + "/registry.reg"); },
         " is a damaged machine: its registry.reg is missing"},
        {"machine.ini a folder",
         [](const std::string& dir) { fs::remove(dir + "/machine.ini"), fs::create_directory(dir + "/machine.ini"); },
         "/machine.ini is not a file"},
        {"machine.ini a link to itself",
         [](const std::string& dir) {
             fs::remove(dir + "/machine.ini"), fs::create_symlink("machine.ini", dir + "/machine.ini");
         },
         "/machine.ini cannot be read: Too many levels of symbolic links"},
        {"registry.reg a folder",
         [](const std::string& dir) { fs::remove(dir + "/registry.reg"), fs::create_directory(dir + "/registry.reg"); },
         "/registry.reg is not a file"},
    };
    for (const Case& c : cases) {
        vktest::TempFolder folder("damaged");
        const std::string dir = folder.path("m");
        fs::create_directories(dir + "/drive_c");
        vktest::TempMachine::WriteHostFile(dir + "/machine.ini", "[windows]\nmajor = 5\n");
        std::string error;
        ASSERT_TRUE(host::WriteEmptyRegistry(dir, &error)) << error;
        c.damage(dir);
        EXPECT_FALSE(host::OpenMachine(dir, &error)) << c.name;
        EXPECT_EQ(error, dir + c.message) << c.name;
        EXPECT_FALSE(host::MachineIsOpen()) << c.name;
    }
}

TEST(Machine, FaultsFailTheNthCallOfANamedFunction) {
    vktest::TempMachine m;
    char temp[MAX_PATH];
    host::FailCall("GetTempPathA", 2, ERROR_ACCESS_DENIED);
    EXPECT_GT(platform::GetTempPathA(sizeof temp, temp), 0u);
    EXPECT_EQ(platform::GetTempPathA(sizeof temp, temp), 0u);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_GT(platform::GetTempPathA(sizeof temp, temp), 0u) << "only the second call fails";
    EXPECT_EQ(host::CallCount("GetTempPathA"), 3);

    std::string error;
    ASSERT_TRUE(host::FaultsFromText("CreateDirectoryA:*:112", &error)) << error;
    EXPECT_FALSE(platform::CreateDirectoryA("C:\\a", nullptr));
    EXPECT_FALSE(platform::CreateDirectoryA("C:\\b", nullptr));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_FALSE(host::FaultsFromText("CreateDirectoryA:0:5", &error));
    EXPECT_FALSE(host::FaultsFromText("CreateDirectoryA:1", &error));
}

TEST(Machine, FaultsThatCouldNeverFireAreRefusedWhole) {
    vktest::TempMachine m;
    const char* refused[] = {
        "CreateDirectoryX:1:5",             // no such call
        "CreateDirectoryA:1x:5",            // not a number
        "CreateDirectoryA:4294967297:5",    // past the counter
        "CreateDirectoryA:1:4294967296",    // past 32 bits
        "CreateDirectoryA:1:99999999999999999999",
        "CreateDirectoryA:-1:5",
        "CreateDirectoryA:1:5:6",
        "GetTempPathA:1:5,",                // an empty item
    };
    for (const char* text : refused) {
        std::string error;
        EXPECT_FALSE(host::FaultsFromText(text, &error)) << text;
        EXPECT_EQ(error.rfind("VKUPDATE_FAULTS: \"", 0), 0u) << error;
        EXPECT_TRUE(platform::CreateDirectoryA("C:\\ok", nullptr)) << text << ": nothing was set";
        platform::RemoveDirectoryA("C:\\ok");
    }
    std::string error;
    EXPECT_TRUE(host::FaultsFromText("CreateDirectoryA:2147483647:0x70", &error)) << error;
    EXPECT_TRUE(host::FaultsFromText("IPersistFile::Save:1:0x80004005", &error)) << error;
}

TEST(Machine, CountedCallsAreRecordedInOrderWithTheirOccurrence) {
    vktest::TempMachine m;
    std::string record = m.dir() + "/calls", error;
    ASSERT_TRUE(host::WatchCalls(record, "", &error)) << error;
    char temp[MAX_PATH];
    platform::GetTempPathA(sizeof temp, temp);
    platform::CreateDirectoryA("C:\\a", nullptr);
    platform::GetTempPathA(sizeof temp, temp);
    ASSERT_TRUE(host::WatchCalls("", "", &error)) << error;  // closes the record
    platform::GetTempPathA(sizeof temp, temp);
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(record), "GetTempPathA 1\nCreateDirectoryA 1\nGetTempPathA 2\n");

    struct Refused {
        const char* file;
        const char* killAt;
        const char* message;
    } refused[] = {
        {"", "0", "VKUPDATE_KILL_AT: \"0\" is not a call number"},
        {"", "12x", "VKUPDATE_KILL_AT: \"12x\""},
        {"/nonexistent/vk/calls", "", "VKUPDATE_CALLS: /nonexistent/vk/calls: "},
    };
    for (const Refused& r : refused) {
        EXPECT_FALSE(host::WatchCalls(r.file, r.killAt, &error)) << r.killAt;
        EXPECT_EQ(error.rfind(r.message, 0), 0u) << error;
    }
}

}  // namespace
