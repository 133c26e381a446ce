// Operations pending until restart: what MoveFileExA(MOVEFILE_DELAY_UNTIL_REBOOT) records, and
// what the restart does with it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "emulator/machine/host.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "support/temp_machine.h"

namespace {

namespace host = platform::host;
namespace fs = std::filesystem;

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// The value's bytes, or "<error N>".
std::string PendingValue() {
    HKEY key = nullptr;
    LONG r = platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key);
    if (r != ERROR_SUCCESS) return "<error " + std::to_string(r) + ">";
    char data[1024];
    DWORD type = 0, size = sizeof data;
    r = platform::RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type,
                                   reinterpret_cast<BYTE*>(data), &size);
    platform::RegCloseKey(key);
    if (r != ERROR_SUCCESS) return "<error " + std::to_string(r) + ">";
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    return std::string(data, size);
}

void Put(const vktest::TempMachine& m, const std::string& windowsPath, const std::string& bytes) {
    vktest::TempMachine::WriteHostFile(m.host(windowsPath), bytes);
}

TEST(HostPending, DelayedOperationsAreRecordedAsWindowsRecordsThem) {
    vktest::TempMachine m;
    const DWORD delay = MOVEFILE_DELAY_UNTIL_REBOOT;
    // The files need not exist yet: only the names are recorded, as full paths.
    EXPECT_TRUE(platform::MoveFileExA("C:\\new\\a.dll", "C:\\WINDOWS\\system32\\a.dll",
                                      delay | MOVEFILE_REPLACE_EXISTING));
    EXPECT_TRUE(platform::MoveFileExA("C:\\x\\..\\old.tmp", nullptr, delay));
    EXPECT_TRUE(platform::MoveFileExA("b.txt", "C:/c.txt", delay));
    const char expected[] =
        "\\??\\C:\\new\\a.dll\0!\\??\\C:\\WINDOWS\\system32\\a.dll\0"
        "\\??\\C:\\old.tmp\0\0"
        "\\??\\C:\\b.txt\0\\??\\C:\\c.txt\0"
        "\0";
    EXPECT_EQ(PendingValue(), std::string(expected, sizeof expected - 1));

    EXPECT_FALSE(platform::MoveFileExA("C:\\a|b", nullptr, delay));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    m.Reopen();
    EXPECT_EQ(PendingValue(), std::string(expected, sizeof expected - 1));
}

TEST(HostPending, RestartPerformsTheOperationsInOrderAndClearsThem) {
    vktest::TempMachine m;
    Put(m, "C:\\x.txt", "x");
    Put(m, "C:\\z.txt", "old z");
    Put(m, "C:\\del.txt", "d");
    ASSERT_TRUE(platform::SetFileAttributesA("C:\\z.txt", FILE_ATTRIBUTE_READONLY));
    const DWORD delay = MOVEFILE_DELAY_UNTIL_REBOOT;
    ASSERT_TRUE(platform::MoveFileExA("C:\\x.txt", "C:\\y.txt", delay));
    ASSERT_TRUE(platform::MoveFileExA("C:\\y.txt", "C:\\z.txt", delay | MOVEFILE_REPLACE_EXISTING));
    ASSERT_TRUE(platform::MoveFileExA("C:\\del.txt", nullptr, delay));
    ASSERT_TRUE(fs::exists(m.host("C:\\x.txt")));  // nothing happens before the restart

    std::string report, error;
    EXPECT_TRUE(host::RestartMachine(&report, &error)) << error;
    EXPECT_EQ(report,
              "rename C:\\x.txt -> C:\\y.txt\n"
              "rename C:\\y.txt -> C:\\z.txt\n"
              "delete C:\\del.txt\n");
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(m.host("C:\\z.txt")), "x");
    EXPECT_FALSE(fs::exists(m.host("C:\\x.txt")));
    EXPECT_FALSE(fs::exists(m.host("C:\\y.txt")));
    EXPECT_FALSE(fs::exists(m.host("C:\\del.txt")));
    EXPECT_EQ(PendingValue(), "<error 2>");
    m.Reopen();
    EXPECT_EQ(PendingValue(), "<error 2>");
    EXPECT_TRUE(host::RestartMachine(&report, &error));
    EXPECT_EQ(report, "no pending file operations\n");
}

TEST(HostPending, AFailedOperationDoesNotStopTheOthers) {
    vktest::TempMachine m;
    Put(m, "C:\\a.txt", "a");
    Put(m, "C:\\b.txt", "b");
    Put(m, "C:\\c.txt", "c");
    const DWORD delay = MOVEFILE_DELAY_UNTIL_REBOOT;
    ASSERT_TRUE(platform::MoveFileExA("C:\\a.txt", "C:\\b.txt", delay));  // no replace: b stays
    ASSERT_TRUE(platform::MoveFileExA("C:\\missing.txt", nullptr, delay));
    ASSERT_TRUE(platform::MoveFileExA("C:\\c.txt", "C:\\d.txt", delay));
    std::string report, error;
    EXPECT_FALSE(host::RestartMachine(&report, &error));
    EXPECT_NE(error.find("rename C:\\a.txt -> C:\\b.txt: it exists already (error 183)"), std::string::npos) << error;
    // A source that is gone is passed over, as Windows does, and said so.
    EXPECT_EQ(error.find("missing.txt"), std::string::npos) << error;
    EXPECT_NE(report.find("delete C:\\missing.txt: skipped, the source is gone"), std::string::npos) << report;
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(m.host("C:\\b.txt")), "b");
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(m.host("C:\\d.txt")), "c");
    EXPECT_EQ(PendingValue(), "<error 2>");
}

TEST(HostPending, RecordingFailsWhenTheRegistryDoes) {
    vktest::TempMachine m;
    {
        vktest::FileSizeLimit full(16);  // registry.reg cannot be saved
        EXPECT_FALSE(platform::MoveFileExA("C:\\a", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
        EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_CANTWRITE));
    }
    host::FailCall("MoveFileExA", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(platform::MoveFileExA("C:\\a", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(PendingValue(), "<error 2>");
}

TEST(HostPending, TheRegistryCallsInsideMoveFileExAreNotTheProgramsCalls) {
    vktest::TempMachine m;
    host::FailCall("RegSetValueExA", 1, ERROR_ACCESS_DENIED);
    host::FailCall("RegCreateKeyExA", 1, ERROR_ACCESS_DENIED);
    ASSERT_TRUE(platform::MoveFileExA("C:\\a", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(host::CallCount("MoveFileExA"), 1);
    for (const char* inner : {"RegCreateKeyExA", "RegQueryValueExA", "RegSetValueExA", "RegCloseKey"})
        EXPECT_EQ(host::CallCount(inner), 0) << inner;
    // The faults are still there for the program's own first call.
    HKEY key = nullptr;
    EXPECT_EQ(platform::RegCreateKeyExA(HKEY_CURRENT_USER, "Software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                        &key, nullptr),
              ERROR_ACCESS_DENIED);
}

TEST(HostPending, OneReadingOfTheValueForRecorderAndRestart) {
    vktest::TempMachine m;
    Put(m, "C:\\keep.txt", "keep");
    Put(m, "C:\\a.txt", "a");
    // A value left with a source but no target: the new entry must not pair with it.
    const char odd[] = "\\??\\C:\\keep.txt\0";
    HKEY key = nullptr;
    ASSERT_EQ(platform::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                                        nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(platform::RegSetValueExA(key, "PendingFileRenameOperations", 0, REG_MULTI_SZ,
                                       reinterpret_cast<const BYTE*>(odd), sizeof odd - 1),
              ERROR_SUCCESS);
    platform::RegCloseKey(key);
    ASSERT_TRUE(platform::MoveFileExA("C:\\a.txt", "C:\\b.txt", MOVEFILE_DELAY_UNTIL_REBOOT));
    std::string report, error;
    EXPECT_TRUE(host::RestartMachine(&report, &error)) << error;
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(m.host("C:\\keep.txt")), "keep");
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(m.host("C:\\b.txt")), "a");

    // The restart reads a value written by others the same way: a last source without its
    // target is skipped, never paired with a guess.
    std::vector<std::string> unpaired;
    std::string data("\\??\\C:\\x\0\0\\??\\C:\\y\0\\??\\C:\\z\0\\??\\C:\\w\0", 37);
    std::vector<host::PendingOperation> ops = host::ParsePendingOperations(data, &unpaired);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].from + "|" + ops[0].to, "\\??\\C:\\x|");
    EXPECT_EQ(ops[1].from + "|" + ops[1].to, "\\??\\C:\\y|\\??\\C:\\z");
    EXPECT_EQ(unpaired, std::vector<std::string>{"\\??\\C:\\w"});
    // The empty string ends the list: nothing after it is done.
    EXPECT_TRUE(host::ParsePendingOperations(std::string("\0\\??\\C:\\x\0\0", 11), nullptr).empty());
}

}  // namespace

namespace {

TEST(HostPending, RestartPerformsOperationsEvenWithoutAdministrator) {
    vktest::TempMachine m;
    Put(m, "C:\\WINDOWS\\system32\\old.sys", "old");
    Put(m, "C:\\WINDOWS\\system32\\new.tmp", "new");
    ASSERT_TRUE(platform::MoveFileExA("C:\\WINDOWS\\system32\\old.sys", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(platform::MoveFileExA("C:\\WINDOWS\\system32\\new.tmp", "C:\\WINDOWS\\system32\\old.sys",
                                      MOVEFILE_DELAY_UNTIL_REBOOT));
    vktest::TempMachine::WriteHostFile(m.dir() + "/machine.ini", "[windows]\nadmin = 0\n");
    m.Reopen();
    std::string report, error;
    ASSERT_TRUE(host::RestartMachine(&report, &error)) << error;
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(m.host("C:\\WINDOWS\\system32\\old.sys")), "new");
    EXPECT_FALSE(fs::exists(m.host("C:\\WINDOWS\\system32\\new.tmp")));
    EXPECT_EQ(PendingValue(), "<error 2>");
}

}  // namespace
