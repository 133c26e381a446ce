// The vkmachine tool: a made machine has what a Windows XP machine has; reboot does the
// pending operations; bad command lines are refused.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/files.h"
#include "emulator/machine/host.h"
#include "platform/registry.h"
#include "support/run_command.h"
#include "support/temp_folder.h"
#include "support/temp_machine.h"

namespace {

namespace host = platform::host;
namespace fs = std::filesystem;

class VkMachine : public ::testing::Test {
protected:
    void TearDown() override { host::CloseMachine(); }
    // Runs vkmachine with `args`; returns its exit code, output in out_.
    int Run(const std::string& args) {
        return vktest::RunCommand(std::string(VK_BINARY_DIR) + "/vkmachine " + args, &out_);
    }
    std::string Value(HKEY root, const std::string& key, const std::string& name) {
        HKEY k = nullptr;
        if (platform::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return "<no key>";
        char data[512] = {0};
        DWORD type = 0, size = sizeof data - 1;
        LONG r = platform::RegQueryValueExA(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
        platform::RegCloseKey(k);
        return r == ERROR_SUCCESS && type == REG_SZ ? std::string(data) : "<no value>";
    }
    bool IsFolder(const std::string& windowsPath) {
        DWORD a = platform::GetFileAttributesA(windowsPath.c_str());
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    }
    vktest::TempFolder temp_{"vkmachine-tool"};
    std::string out_;
};

TEST_F(VkMachine, CreateMakesAnXpMachine) {
    std::string dir = temp_.path("m");
    ASSERT_EQ(Run("create " + dir + " --admin 0 --minor 0 --documents 'C:\\Docs\\表'"), 0) << out_;
    std::string error;
    ASSERT_TRUE(host::OpenMachine(dir, &error)) << error;
    EXPECT_FALSE(host::Config().admin);
    EXPECT_EQ(host::Config().minor, 0u);
    const std::string docs = "C:\\Docs\\\x95\x5C";
    EXPECT_EQ(host::Config().documents, docs);

    const std::string shell = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    EXPECT_EQ(Value(HKEY_CURRENT_USER, shell, "Personal"), docs);
    EXPECT_EQ(Value(HKEY_CURRENT_USER, shell, "Desktop"), "C:\\Docs\\Desktop");
    const std::string all = "C:\\Documents and Settings\\All Users";
    const std::string hklmShell = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, hklmShell, "Common Programs"), all + "\\Start Menu\\Programs");
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, hklmShell, "Common Desktop"), all + "\\Desktop");
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, hklmShell, "Common AppData"), all + "\\Application Data");
    HKEY k = nullptr;
    EXPECT_EQ(platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services", 0, KEY_READ, &k),
              ERROR_SUCCESS);
    platform::RegCloseKey(k);

    for (const std::string& f : {std::string("C:\\WINDOWS\\TEMP"), std::string("C:\\WINDOWS\\system32\\drivers"),
                                 docs, std::string("C:\\Program Files"), all + "\\Start Menu\\Programs"})
        EXPECT_TRUE(IsFolder(f)) << f;
    EXPECT_TRUE(fs::is_directory(dir + "/drive_c/Docs/表"));

    host::CloseMachine();
    EXPECT_EQ(Run("create " + dir), 1) << out_;  // not empty
    EXPECT_NE(out_.find("not an empty folder"), std::string::npos) << out_;
}

TEST_F(VkMachine, RebootPerformsPendingOperations) {
    std::string dir = temp_.path("m");
    ASSERT_EQ(Run("create " + dir), 0) << out_;
    std::string error;
    ASSERT_TRUE(host::OpenMachine(dir, &error)) << error;
    vktest::TempMachine::WriteHostFile(dir + "/drive_c/WINDOWS/TEMP/new.dll", "new");
    ASSERT_TRUE(platform::MoveFileExA("C:\\WINDOWS\\TEMP\\new.dll", "C:\\WINDOWS\\system32\\vk.dll",
                                      MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    host::CloseMachine();

    EXPECT_EQ(Run("reboot " + dir), 0) << out_;
    EXPECT_EQ(out_, "rename C:\\WINDOWS\\TEMP\\new.dll -> C:\\WINDOWS\\system32\\vk.dll\n");
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(dir + "/drive_c/WINDOWS/system32/vk.dll"), "new");
    EXPECT_EQ(Run("reboot " + dir), 0) << out_;
    EXPECT_EQ(out_, "no pending file operations\n");
    EXPECT_EQ(Run("reboot " + temp_.path("none")), 1) << out_;
}

TEST_F(VkMachine, RebootSkipsAnOperationWhoseSourceIsGone) {
    std::string dir = temp_.path("m");
    ASSERT_EQ(Run("create " + dir), 0) << out_;
    std::string error;
    ASSERT_TRUE(host::OpenMachine(dir, &error)) << error;
    vktest::TempMachine::WriteHostFile(dir + "/drive_c/b.txt", "b");
    ASSERT_TRUE(platform::MoveFileExA("C:\\gone.txt", "C:\\x.txt", MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(platform::MoveFileExA("C:\\b.txt", "C:\\c.txt", MOVEFILE_DELAY_UNTIL_REBOOT));
    host::CloseMachine();
    EXPECT_EQ(Run("reboot " + dir), 0) << out_;
    EXPECT_NE(out_.find("rename C:\\gone.txt -> C:\\x.txt: skipped"), std::string::npos) << out_;
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(dir + "/drive_c/c.txt"), "b");
}

TEST_F(VkMachine, ATempFolderEndingInATrailByte0x5CIsMadeAndKeepsItsSeparator) {
    std::string dir = temp_.path("m");
    ASSERT_EQ(Run("create " + dir + " --temp 'C:\\表'"), 0) << out_;  // 95 5C in code page 932
    EXPECT_TRUE(fs::is_directory(dir + "/drive_c/表")) << out_;
    std::string error;
    ASSERT_TRUE(host::OpenMachine(dir, &error)) << error;
    char temp[MAX_PATH];
    ASSERT_EQ(platform::GetTempPathA(sizeof temp, temp), 6u);
    EXPECT_STREQ(temp, "C:\\\x95\x5C\\");
    host::CloseMachine();
}

TEST_F(VkMachine, BadCommandLinesAreUsageErrors) {
    const std::string m = temp_.path("m");
    struct Case {
        std::string args;
        const char* message;
    } cases[] = {
        {"", "no command given"},
        {"frobnicate " + temp_.dir(), "unknown command \"frobnicate\""},
        {"create", "create needs a folder"},
        {"create " + m + " --colour blue", "vkmachine: unknown option --colour ("},
        {"create " + m + " --bogus", "vkmachine: unknown option --bogus ("},
        {"create " + m + " --admin", "option --admin needs a value"},
        {"create " + m + " --admin 2", "admin must be 0 or 1"},
        {"create " + m + " --codepage 99999",
         "vkmachine: codepage 99999 is not a code page the machine can use: give a Windows ANSI code page"},
        {"create " + m + " --codepage 12345", "vkmachine: codepage 12345 is not a code page the machine can use"},
        {"create " + m + " --temp relative", "temp must be a full Windows path"},
        {"reboot", "reboot needs exactly one folder"},
        {"install-product " + m + " --bogus", "vkmachine: unknown option --bogus ("},
        {"install-product " + m + " --version", "option --version needs a value"},
        {"install-product " + m + " 3.15", "unexpected argument \"3.15\""},
        {"put " + temp_.dir() + " 'C:\\a' --text a --frob", "vkmachine: unknown option --frob ("},
        {"set-value " + temp_.dir() + " 'HKCU\\x' v REG_SZ --number 1 extra", "vkmachine: unexpected argument \"extra\" ("},
        {"put " + temp_.dir() + " 'C:\\a' --size 10 --hex 00", "give the data once: --size takes at most one --text"},
        {"put " + temp_.dir() + " 'C:\\a' --size 10 --number 1", "give the data once: --size takes at most one --text"},
        {"put " + temp_.dir() + " 'C:\\a' --hex 00 --hex 01", "give the data once: --hex twice"},
        {"put " + temp_.dir() + " 'C:\\a' --size 1 --size 2", "give the data once: --size twice"},
    };
    ASSERT_EQ(Run("create " + temp_.dir()), 0) << out_;  // a machine for the edit commands
    for (const Case& c : cases) {
        EXPECT_EQ(Run(c.args), 2) << c.args;
        EXPECT_NE(out_.find(c.message), std::string::npos) << c.args << ": " << out_;
        // One line naming the problem, and where the usage is.
        EXPECT_EQ(std::count(out_.begin(), out_.end(), '\n'), 1) << c.args << ": " << out_;
        EXPECT_NE(out_.find(" (vkmachine --help shows the usage)\n"), std::string::npos) << c.args << ": " << out_;
    }
    EXPECT_FALSE(fs::exists(m));  // nothing made on a usage error
    EXPECT_FALSE(fs::exists(temp_.path("drive_c/a")));
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_EQ(out_.substr(0, 7), "usage: ");
    EXPECT_EQ(out_.back(), '\n');
}

// What a command could not do is said in words, the Windows error number after them.
TEST_F(VkMachine, FailuresSayWhatWentWrongInWords) {
    const std::string m = temp_.path("m");
    ASSERT_EQ(Run("create " + m), 0) << out_;
    const std::string session = "'HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager'";
    struct Case {
        std::string args;
        int code;
        std::string message;  // all it prints
    } cases[] = {
        {"remove-value " + m + " " + session + " Missing", 1,
         "cannot remove HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager \"Missing\": no such value (error 2)"},
        {"remove-value " + m + " 'HKCU\\Nowhere' X", 1, "cannot remove HKCU\\Nowhere \"X\": no such key (error 2)"},
        {"remove-key " + m + " 'HKCU\\Nowhere'", 1, "cannot remove key HKCU\\Nowhere: no such key (error 2)"},
        {"remove " + m + " 'C:\\Nowhere'", 1, "C:\\Nowhere: no such file or folder (error 2)"},
        {"attrib " + m + " 'C:\\Nowhere\\x' +r", 1, "C:\\Nowhere\\x: no such folder (error 3)"},
        {"put " + m + " 'C:\\WINDOWS' --text x", 1, "cannot write C:\\WINDOWS: access denied (error 5)"},
        {"attributes " + m + " 'C:\\WINDOWS' +h", 0, ""},  // the word a user tries
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run(c.args), c.code) << c.args;
        EXPECT_EQ(out_, c.message.empty() ? "" : "vkmachine: " + c.message + "\n") << c.args;
    }
}

// An install that fails writes nothing: no folder, file or value of it is left.
TEST_F(VkMachine, AFailedInstallWritesNothing) {
    const std::string m = temp_.path("m");
    ASSERT_EQ(Run("create " + m), 0) << out_;
    const std::string deep = "D:\\" + std::string(120, 'a') + "\\" + std::string(140, 'b');
    struct Case {
        const char* what;
        std::string before;  // a vkmachine command that readies the machine, "" for none
        std::string folder;
        std::string message;
    } cases[] = {
        {"a folder past the path limit on a new drive", "", deep, "the path is too long (error 206)"},
        {"a file where a data file goes", "mkdir " + m + " 'C:\\Program Files\\Orvane\\Velkor TARN\\CHG.LOG'", "",
         "cannot write C:\\Program Files\\Orvane\\Velkor TARN\\CHG.LOG: access denied (error 5)"},
        {"a limited user, outside Program Files", "", "C:\\TARN",
         "cannot write SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\VKTARN.EXE \"Path\": access denied (error 5)"},
        {"no program menu", "remove-value " + m +
             " 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders' 'Common Programs'",
         "", "names no \"Common Programs\" folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.before.empty()) {
            ASSERT_EQ(Run(c.before), 0) << out_;
        }
        const std::string ini = vktest::TempMachine::ReadHostFile(m + "/machine.ini");
        if (std::string(c.what).find("limited") != std::string::npos)
            vktest::TempMachine::WriteHostFile(m + "/machine.ini", "[windows]\nadmin = 0\n");
        auto state = [&]() {
            std::string all;
            for (const auto& e : fs::recursive_directory_iterator(m)) all += e.path().string() + "\n";
            return all + vktest::TempMachine::ReadHostFile(m + "/registry.reg") +
                   vktest::TempMachine::ReadHostFile(m + "/registry.journal");
        };
        const std::string before = state();
        EXPECT_EQ(Run("install-product " + m + " --version '3, 1, 5, 0'" +
                      (c.folder.empty() ? "" : " --folder '" + c.folder + "'")),
                  1);
        EXPECT_NE(out_.find(c.message), std::string::npos) << out_;
        EXPECT_EQ(std::count(out_.begin(), out_.end(), '\n'), 1) << out_;
        EXPECT_EQ(state(), before);
        vktest::TempMachine::WriteHostFile(m + "/machine.ini", ini);
    }
}

// The bytes and type of a value, read back through the machine; "<none>" when it is absent.
std::string Bytes(const std::string& dir, HKEY root, const std::string& key, const std::string& name, DWORD* type) {
    std::string error, bytes(1 << 20, '\0');
    if (!host::OpenMachine(dir, &error)) return error;
    HKEY k = nullptr;
    DWORD size = static_cast<DWORD>(bytes.size());
    LONG r = platform::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k);
    if (r == ERROR_SUCCESS)
        r = platform::RegQueryValueExA(k, name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(&bytes[0]), &size);
    if (k != nullptr) platform::RegCloseKey(k);
    host::CloseMachine();
    return r == ERROR_SUCCESS ? bytes.substr(0, size) : "<none>";
}

TEST_F(VkMachine, SetValueStoresExactlyTheBytesAndTypeGiven) {
    std::string dir = temp_.path("m");
    ASSERT_EQ(Run("create " + dir), 0) << out_;
    struct Case {
        const char* args;
        DWORD type;
        std::string bytes;
    } cases[] = {
        {"Path REG_SZ --text 'C:\\表'", REG_SZ, std::string("C:\\\x95\x5C\0", 6)},
        {"Path REG_EXPAND_SZ --text '%TEMP%'", REG_EXPAND_SZ, std::string("%TEMP%\0", 7)},
        {"Path REG_MULTI_SZ --text a --text '' --text b", REG_MULTI_SZ, std::string("a\0\0b\0\0", 6)},
        {"Path REG_MULTI_SZ --hex ''", REG_MULTI_SZ, ""},
        {"Path REG_SZ --size 7 --text ab", REG_SZ, "abababa"},  // no NUL, none added
        {"Path REG_BINARY --size 3", REG_BINARY, "xxx"},
        {"Path REG_BINARY --text ab", REG_BINARY, "ab"},
        {"Path REG_DWORD --number 0x12345678", REG_DWORD, "\x78\x56\x34\x12"},
        {"Path REG_DWORD --hex ''", REG_DWORD, ""},
        {"Path REG_QWORD --hex 01,02,03,04,05,06,07,08", 11, "\x01\x02\x03\x04\x05\x06\x07\x08"},
        {"Path 12345 --hex 5c,00,ff", 12345, std::string("\x5c\0\xff", 3)},
        {"@ REG_NONE --hex 00", REG_NONE, std::string("\0", 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        ASSERT_EQ(Run("set-value " + dir + " 'HKLM\\SOFTWARE\\Test\\Sub' " + c.args), 0) << out_;
        DWORD type = 0;
        std::string name = std::string(c.args).substr(0, 1) == "@" ? "" : "Path";
        EXPECT_EQ(Bytes(dir, HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Sub", name, &type), c.bytes);
        EXPECT_EQ(type, c.type);
    }
    DWORD type = 0;
    ASSERT_EQ(Run("set-value " + dir + " 'HKCU\\Software\\Big' Huge REG_BINARY --size 1000000 --text ab"), 0) << out_;
    EXPECT_EQ(Bytes(dir, HKEY_CURRENT_USER, "Software\\Big", "Huge", &type).size(), 1000000u);

    ASSERT_EQ(Run("remove-value " + dir + " 'HKLM\\SOFTWARE\\Test\\Sub' Path"), 0) << out_;
    EXPECT_EQ(Bytes(dir, HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Sub", "Path", &type), "<none>");
    EXPECT_EQ(Run("remove-value " + dir + " 'HKLM\\SOFTWARE\\Test\\Sub' Path"), 1) << out_;  // already gone
    ASSERT_EQ(Run("remove-key " + dir + " 'HKEY_LOCAL_MACHINE\\SOFTWARE\\test'"), 0) << out_;  // with Sub below
    EXPECT_EQ(Bytes(dir, HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Sub", "", &type), "<none>");
    EXPECT_EQ(Run("remove-key " + dir + " 'HKLM\\SOFTWARE\\Test'"), 1) << out_;
}

TEST_F(VkMachine, FileCommandsPutAttribAndRemove) {
    std::string dir = temp_.path("m");
    ASSERT_EQ(Run("create " + dir), 0) << out_;
    ASSERT_EQ(Run("put " + dir + " 'C:\\新しい\\表\\a.tmp' --size 10 --text abc"), 0) << out_;
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(dir + "/drive_c/新しい/表/a.tmp"), "abcabcabca");
    ASSERT_EQ(Run("put " + dir + " 'C:\\新しい\\b.bin' --hex 00,5c"), 0) << out_;
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(dir + "/drive_c/新しい/b.bin"), std::string("\0\x5c", 2));
    ASSERT_EQ(Run("attrib " + dir + " 'C:\\新しい\\表\\a.tmp' +R +h +s"), 0) << out_;
    ASSERT_EQ(Run("attrib " + dir + " 'C:\\新しい\\表\\a.tmp' -h"), 0) << out_;
    std::string error;
    ASSERT_TRUE(host::OpenMachine(dir, &error)) << error;
    EXPECT_EQ(platform::GetFileAttributesA("C:\\\x90\x56\x82\xb5\x82\xa2\\\x95\x5C\\a.tmp"),
              DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
    host::CloseMachine();
    EXPECT_EQ(Run("put " + dir + " 'C:\\新しい\\表\\a.tmp' --text x"), 1) << out_;  // read-only
    EXPECT_EQ(Run("put " + dir + " 'C:\\新しい\\表' --text x"), 1) << out_;         // a folder
    ASSERT_EQ(Run("mkdir " + dir + " 'C:\\新しい\\空\\空'"), 0) << out_;
    EXPECT_TRUE(fs::is_directory(dir + "/drive_c/新しい/空/空"));
    ASSERT_EQ(Run("remove " + dir + " 'C:\\新しい'"), 0) << out_;  // read-only file and all
    EXPECT_FALSE(fs::exists(dir + "/drive_c/新しい"));
    EXPECT_EQ(Run("remove " + dir + " 'C:\\新しい'"), 1) << out_;
}

TEST_F(VkMachine, EditCommandsRefuseWhatTheyCannotMean) {
    std::string dir = temp_.path("m");
    ASSERT_EQ(Run("create " + dir), 0) << out_;
    const char* bad[] = {
        "attrib M 'C:\\WINDOWS' +x",
        "attrib M 'C:\\WINDOWS'",
        "put M relative.txt --text x",
        "put M 'C:\\a.txt'",
        "put M 'C:\\a.txt' --text x --hex 00",
        "put M 'C:\\a.txt' --size -1",
        "put M 'C:\\a.txt' --size 99999999999",
        "mkdir M 'C:\\a' 'C:\\b'",
        "set-value M HKXX\\Software x REG_SZ --text a",
        "set-value M HKLM x REG_SZ --text a",
        "set-value M HKLM\\Software x REG_WORD --text a",
        "set-value M HKLM\\Software x REG_SZ --text a --text b",
        "set-value M HKLM\\Software x REG_DWORD --number 0x100000000",
        "set-value M HKLM\\Software x REG_BINARY --hex 1,234",
        "set-value M HKLM\\Software x REG_BINARY",
        "remove-key M HKLM\\Software extra",
        "remove",
    };
    for (std::string args : bad) {
        size_t m = args.find(" M ");
        if (m != std::string::npos) args.replace(m + 1, 1, dir);
        EXPECT_EQ(Run(args), 2) << args << ": " << out_;
    }
    EXPECT_FALSE(fs::exists(dir + "/drive_c/a.txt"));
}

// A machine that is not one, or is damaged, is refused with what is wrong, and nothing is
// written into it.
TEST_F(VkMachine, MachinesThatCannotBeOpenedAreNamedForWhatTheyAre) {
    const std::string file = temp_.path("file"), damaged = temp_.path("damaged");
    vktest::TempMachine::WriteHostFile(file, "not a machine");
    ASSERT_EQ(Run("create " + damaged), 0) << out_;
    fs::remove(damaged + "/registry.reg");
    const std::string updater = "VKUPDATE_MACHINE=" + file + " " + std::string(VK_BINARY_DIR) + "/vkupdate";
    struct Case {
        std::string command;
        std::string message;
    } cases[] = {
        {std::string(VK_BINARY_DIR) + "/vkmachine reboot " + file, "vkmachine: " + file + " is not a folder"},
        {std::string(VK_BINARY_DIR) + "/vkmachine install-product " + file + " --version '3, 1, 5, 0'",
         "vkmachine: " + file + " is not a folder"},
        {updater + " </dev/null", "vkupdate: " + file + " is not a folder: a machine is a folder made by vkmachine"},
        {std::string(VK_BINARY_DIR) + "/vkmachine reboot " + damaged,
         "vkmachine: " + damaged + " is a damaged machine: its registry.reg is missing"},
        {std::string(VK_BINARY_DIR) + "/vkmachine install-product " + damaged + " --version '3, 1, 5, 0'",
         "vkmachine: " + damaged + " is a damaged machine: its registry.reg is missing"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vktest::RunCommand(c.command, &out_), 1) << c.command;
        EXPECT_NE(out_.find(c.message), std::string::npos) << c.command << ": " << out_;
        EXPECT_EQ(std::count(out_.begin(), out_.end(), '\n'), 1) << "one line: " << out_;
    }
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(file), "not a machine");
    EXPECT_FALSE(fs::exists(damaged + "/registry.reg"));
    EXPECT_FALSE(fs::exists(damaged + "/drive_c/Program Files/Orvane"));
}

// Builds outside the known-version table can be installed (the updater must refuse them), and
// the tool says so in one line, so that a mistyped version is noticed.
TEST_F(VkMachine, AnUnknownBuildIsInstalledWithANote) {
    const std::string m = temp_.path("m");
    ASSERT_EQ(Run("create " + m), 0) << out_;
    const char* note = "is not in the known-version table";
    struct Case {
        const char* version;
        bool noted;
    } cases[] = {{"3.15", true}, {"3, 1, 5, 0", false}, {"9, 9, 9, 9", true}};
    for (const Case& c : cases) {
        EXPECT_EQ(Run("install-product " + m + " --version '" + c.version + "'"), 0) << out_;
        EXPECT_EQ(out_.find(note) != std::string::npos, c.noted) << c.version << ": " << out_;
    }
}

TEST_F(VkMachine, TheUpdaterFailsLoudlyWhenItsDialogCannotBeShownOrAFaultCannotFire) {
    std::string dir = temp_.path("m");
    ASSERT_EQ(Run("create " + dir), 0) << out_;
    struct Case {
        const char* faults;
        const char* message;
    } cases[] = {
        {"DialogBoxParamA:1:1813", "vkupdate: the main dialog could not be shown: the program has no resource of that type (error 1813)"},
        {"DialogBox:1:5", "\"DialogBox\" is not a platform call"},
    };
    for (const Case& c : cases) {
        std::string log = temp_.path("updater.txt");
        std::string command = "VKUPDATE_MACHINE=" + dir + " VKUPDATE_FAULTS=" + c.faults + " " +
                              std::string(VK_BINARY_DIR) + "/vkupdate </dev/null >" + log + " 2>&1";
        int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << c.faults;
        EXPECT_NE(vktest::TempMachine::ReadHostFile(log).find(c.message), std::string::npos)
            << vktest::TempMachine::ReadHostFile(log);
    }
}

// vkmachine hold makes each kind of holder: attributes only and no access take no part in
// share checks, execute shares as reading; attributes go alone.
TEST_F(VkMachine, HoldMakesEachKindOfHolder) {
    const struct {
        const char* access;
        int exit;
        bool writerOpens;  // a later open for writing, sharing everything
    } cases[] = {
        {"a", 0, true}, {"none", 0, true}, {"x", 0, false}, {"rx", 0, false}, {"ax", 2, true}, {"q", 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.access);
        const std::string dir = temp_.path(std::string("m-") + c.access);
        ASSERT_EQ(Run("create " + dir), 0) << out_;
        vktest::TempMachine::WriteHostFile(dir + "/drive_c/held.dll", "library");
        EXPECT_EQ(Run("hold " + dir + " 'C:\\held.dll' --access " + c.access + " --share r"), c.exit) << out_;
        std::string error;
        ASSERT_TRUE(host::OpenMachine(dir, &error)) << error;
        HANDLE h = platform::CreateFileA("C:\\held.dll", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.writerOpens);
        if (h != INVALID_HANDLE_VALUE) platform::CloseHandle(h);
        host::CloseMachine();
    }
}

}  // namespace
