// The vkmachine tool: a made machine has what a Windows XP machine has; reboot does the
// pending operations; bad command lines are refused.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/files.h"
#include "platform/host/machine/host.h"
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
        {"", "usage: vkmachine create DIR"},
        {"frobnicate " + temp_.dir(), "unknown command \"frobnicate\""},
        {"create", "create needs a folder"},
        {"create " + m + " --colour blue", "vkmachine: unknown option --colour\n"},
        {"create " + m + " --bogus", "vkmachine: unknown option --bogus\n"},
        {"create " + m + " --admin", "option --admin needs a value"},
        {"create " + m + " --admin 2", "admin must be 0 or 1"},
        {"create " + m + " --codepage 99999",
         "vkmachine: codepage 99999 is not a code page the machine can use: give a Windows ANSI code page"},
        {"create " + m + " --codepage 12345", "vkmachine: codepage 12345 is not a code page the machine can use"},
        {"create " + m + " --temp relative", "temp must be a full Windows path"},
        {"reboot", "reboot needs exactly one folder"},
        {"install-product " + m + " --bogus", "vkmachine: unknown option --bogus\n"},
        {"install-product " + m + " --version", "option --version needs a value"},
        {"install-product " + m + " 3.15", "unexpected argument \"3.15\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run(c.args), 2) << c.args;
        EXPECT_NE(out_.find(c.message), std::string::npos) << c.args << ": " << out_;
    }
    EXPECT_FALSE(fs::exists(m));  // nothing made on a usage error
    EXPECT_EQ(Run("--help"), 0);
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
        {"DialogBoxParamA:1:1813", "vkupdate: the main dialog could not be shown (error 1813)"},
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

}  // namespace
