// The emulated file system: mapping of Windows names to host files, wildcards, attributes kept
// across restarts, the limited user's system folder, injected faults.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/files.h"
#include "emulator/machine/host.h"
#include "emulator/files/wildcard.h"
#include "platform/system.h"
#include "support/temp_machine.h"

namespace {

namespace host = platform::host;
namespace fs = std::filesystem;

// Shift-JIS: 表 and ソ end with 0x5C ('\'), － (0x81 0x7C) with 0x7C ('|').
const std::string kHyo = "\x95\x5C";
const std::string kSo = "\x83\x5C";
const std::string kMinus = "\x81\x7C";  // U+FF0D in code page 932

std::string Mapped(const std::string& windowsPath, DWORD* error = nullptr) {
    std::string out;
    DWORD e = host::ToHostPath(windowsPath, &out);
    if (error != nullptr) *error = e;
    return e == ERROR_SUCCESS ? out : "<error " + std::to_string(e) + ">";
}

bool Write(const std::string& path, const std::string& bytes, DWORD disposition = CREATE_ALWAYS) {
    HANDLE h = platform::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = platform::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    platform::CloseHandle(h);
    return ok;
}

TEST(HostPaths, ShiftJisNamesMapToUtf8AndBack) {
    vktest::TempMachine m;
    std::string folder = "C:\\" + kHyo;
    std::string file = folder + "\\" + kSo + kMinus + ".txt";
    ASSERT_TRUE(platform::CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(Write(file, "sjis"));
    // 0x5C and 0x7C as trail bytes are neither separators nor reserved characters.
    EXPECT_TRUE(fs::is_regular_file(m.dir() + "/drive_c/表/ソ－.txt"));
    EXPECT_EQ(Mapped(file), m.dir() + "/drive_c/表/ソ－.txt");

    WIN32_FIND_DATAA data;
    HANDLE h = platform::FindFirstFileA((folder + "\\*.TXT").c_str(), &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::string(data.cFileName), kSo + kMinus + ".txt");
    EXPECT_EQ(data.nFileSizeLow, 4u);
    platform::FindClose(h);
    h = platform::FindFirstFileA(("C:\\" + kHyo).c_str(), &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::string(data.cFileName), kHyo);
    platform::FindClose(h);
    // '?' stands for one double-byte character.
    h = platform::FindFirstFileA((folder + "\\?" + kMinus + ".txt").c_str(), &data);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    platform::FindClose(h);
}

TEST(HostPaths, ExistingComponentsMatchWithoutRegardToCase) {
    vktest::TempMachine m;
    fs::create_directories(m.dir() + "/drive_c/Program Files/Foo");
    vktest::TempMachine::WriteHostFile(m.dir() + "/drive_c/Program Files/Foo/App.INI", "x");
    std::string base = m.dir() + "/drive_c/Program Files/Foo";
    EXPECT_EQ(Mapped("c:\\PROGRAM FILES\\foo\\app.ini"), base + "/App.INI");
    EXPECT_EQ(Mapped("C:/program files/FOO/New.txt"), base + "/New.txt");
    EXPECT_EQ(Mapped("C:\\Program Files\\x\\..\\.\\Foo\\\\app.ini. "), base + "/App.INI");
    EXPECT_EQ(Mapped("program files\\foo"), base);  // relative to C:\ .
    EXPECT_EQ(Mapped("\\..\\..\\Program Files"), m.dir() + "/drive_c/Program Files");
    EXPECT_EQ(Mapped("C:\\"), m.dir() + "/drive_c");

    // Writing through another spelling writes the existing file, and makes no second one.
    ASSERT_TRUE(Write("C:\\PROGRAM FILES\\FOO\\APP.INI", "new"));
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(base + "/App.INI"), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator()), 1);
}

TEST(HostPaths, InvalidNamesAndMissingDrives) {
    vktest::TempMachine m;
    DWORD error = 0;
    for (const char* bad : {"C:\\a<b", "C:\\a>b", "C:\\a|b", "C:\\a\"b", "C:\\a:b", "C:\\a*", "C:\\a?\\b",
                            "C:\\tab\there", "C:\\\x95"}) {
        Mapped(bad, &error);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_NAME)) << bad;
    }
    Mapped("D:\\x", &error);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(platform::CreateFileA("C:\\a|b", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(platform::GetFileAttributesA("D:\\x"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(HostWildcards, WindowsRules) {
    vktest::TempMachine m;  // code page 932
    using host::WildcardMatch;
    EXPECT_TRUE(WildcardMatch("*.LST", "a.lst"));
    EXPECT_TRUE(WildcardMatch("*.LST", "B.LsT"));
    EXPECT_FALSE(WildcardMatch("*.LST", "c.lstx"));
    EXPECT_FALSE(WildcardMatch("*.LST", "lst"));
    EXPECT_TRUE(WildcardMatch("*.*", "noext"));
    EXPECT_TRUE(WildcardMatch("*.*", ".."));
    EXPECT_TRUE(WildcardMatch("a.*", "a"));
    EXPECT_TRUE(WildcardMatch("*", ""));
    EXPECT_TRUE(WildcardMatch("a?c", "ABC"));
    EXPECT_FALSE(WildcardMatch("a?c", "ac"));
    EXPECT_FALSE(WildcardMatch("a?c", "abbc"));
    EXPECT_TRUE(WildcardMatch("*b*b*", "abcbd"));
    EXPECT_TRUE(WildcardMatch("?", kHyo));           // one character of two bytes
    EXPECT_FALSE(WildcardMatch("??a", std::string(kHyo) + "a"));  // "??" would match two bytes and "a"
    EXPECT_FALSE(WildcardMatch("*\\", kHyo));  // the trail byte 0x5C is no character of its own
}

TEST(HostAttributes, DefaultsAndSurvivalAcrossRestart) {
    vktest::TempMachine m;
    ASSERT_TRUE(Write("C:\\a.txt", "a"));
    EXPECT_EQ(platform::GetFileAttributesA("C:\\a.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(platform::GetFileAttributesA("C:\\WINDOWS"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    ASSERT_TRUE(platform::SetFileAttributesA("C:\\a.txt", 0));
    EXPECT_EQ(platform::GetFileAttributesA("C:\\a.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(platform::SetFileAttributesA("C:\\a.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(platform::SetFileAttributesA("C:\\WINDOWS", FILE_ATTRIBUTE_SYSTEM));

    m.Reopen();
    EXPECT_EQ(platform::GetFileAttributesA("c:\\A.TXT"),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(platform::GetFileAttributesA("C:\\windows"),
              static_cast<DWORD>(FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY));

    // Attributes go with a moved folder; a new file of an old name starts afresh.
    ASSERT_TRUE(platform::CreateDirectoryA("C:\\d", nullptr));
    ASSERT_TRUE(platform::MoveFileA("C:\\a.txt", "C:\\d\\a.txt"));
    ASSERT_TRUE(platform::MoveFileA("C:\\d", "C:\\e"));
    EXPECT_EQ(platform::GetFileAttributesA("C:\\e\\a.txt"),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(platform::SetFileAttributesA("C:\\e\\a.txt", FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(platform::DeleteFileA("C:\\e\\a.txt"));
    ASSERT_TRUE(Write("C:\\e\\a.txt", "again", CREATE_NEW));
    EXPECT_EQ(platform::GetFileAttributesA("C:\\e\\a.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
}

TEST(HostAttributes, HiddenFilesNeedTheirAttributesToBeReplaced) {
    vktest::TempMachine m;
    ASSERT_TRUE(Write("C:\\h.dat", "h"));
    ASSERT_TRUE(platform::SetFileAttributesA("C:\\h.dat", FILE_ATTRIBUTE_HIDDEN));
    EXPECT_FALSE(Write("C:\\h.dat", "x"));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE h = platform::CreateFileA("C:\\h.dat", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_HIDDEN, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    platform::CloseHandle(h);
}

TEST(HostLimitedUser, SystemFolderRefusesChanges) {
    vktest::TempMachine m("[windows]\nadmin = 0\n");
    vktest::TempMachine::WriteHostFile(m.host("C:\\WINDOWS\\system32\\old.dll"), "old");
    ASSERT_TRUE(Write("C:\\new.dll", "new"));
    const DWORD denied = ERROR_ACCESS_DENIED;

    EXPECT_FALSE(Write("c:\\windows\\SYSTEM32\\x.dll", "x"));
    EXPECT_EQ(platform::GetLastError(), denied);
    EXPECT_FALSE(Write("C:\\WINDOWS\\system32\\old.dll", "x", OPEN_EXISTING));
    EXPECT_EQ(platform::GetLastError(), denied);
    EXPECT_FALSE(platform::CopyFileA("C:\\new.dll", "C:\\WINDOWS\\system32\\new.dll", FALSE));
    EXPECT_EQ(platform::GetLastError(), denied);
    EXPECT_FALSE(platform::MoveFileA("C:\\new.dll", "C:\\WINDOWS\\system32\\new.dll"));
    EXPECT_EQ(platform::GetLastError(), denied);
    EXPECT_FALSE(platform::MoveFileA("C:\\WINDOWS\\system32\\old.dll", "C:\\old.dll"));
    EXPECT_EQ(platform::GetLastError(), denied);
    EXPECT_FALSE(platform::DeleteFileA("C:\\WINDOWS\\system32\\old.dll"));
    EXPECT_EQ(platform::GetLastError(), denied);
    EXPECT_FALSE(platform::SetFileAttributesA("C:\\WINDOWS\\system32\\old.dll", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(platform::GetLastError(), denied);
    EXPECT_FALSE(platform::CreateDirectoryA("C:\\WINDOWS\\system32\\drivers", nullptr));
    EXPECT_EQ(platform::GetLastError(), denied);
    EXPECT_FALSE(platform::MoveFileExA("C:\\new.dll", "C:\\x.dll", MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(platform::GetLastError(), denied);

    // Reading the system folder, and writing elsewhere (a folder named like it), are allowed.
    HANDLE h = platform::CreateFileA("C:\\WINDOWS\\system32\\old.dll", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    platform::CloseHandle(h);
    EXPECT_TRUE(Write("C:\\WINDOWS\\system32x.dll", "x"));
    EXPECT_TRUE(platform::CopyFileA("C:\\WINDOWS\\system32\\old.dll", "C:\\copy.dll", TRUE));
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(m.host("C:\\WINDOWS\\system32\\old.dll")), "old");
}

// From Windows 2000 on a limited user cannot change Program Files either; NT 4.0 grants
// Everyone "Change" there, and the 95/98/Me family has no file security.
TEST(HostLimitedUser, ProgramFilesRefuseChangesFrom2000On) {
    const struct {
        const char* ini;
        bool refused;
    } cases[] = {
        {"[windows]\nadmin = 0\n", true},
        {"[windows]\nadmin = 0\nmajor = 5\nminor = 0\n", true},
        {"[windows]\nadmin = 0\nmajor = 4\nminor = 0\n", false},
        {"[windows]\nadmin = 0\nplatform = 1\nmajor = 4\nminor = 10\n", false},
        {"[windows]\nadmin = 1\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini);
        vktest::TempMachine m(c.ini);
        fs::create_directories(m.host("C:\\Program Files\\App"));
        vktest::TempMachine::WriteHostFile(m.host("C:\\Program Files\\App\\old.dll"), "old");
        EXPECT_EQ(Write("C:\\Program Files\\App\\new.dll", "x"), !c.refused);
        EXPECT_EQ(platform::DeleteFileA("C:\\Program Files\\App\\old.dll") == FALSE, c.refused);
        if (c.refused) {
            EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        }
        EXPECT_TRUE(Write("C:\\Program Files2.dll", "x")) << "elsewhere";
    }
}

// The rules Windows documents where Wine is kinder: a file deleted while held opens for nothing
// and no rename takes its name (Wine opens it, and answers a rename onto it with
// ERROR_ALREADY_EXISTS). And what no Wine test can show: a running program's executable, and
// the 95/98/Me family's calls.
TEST(HostFiles, HeldFilesRunningProgramsAndTheOlderFamily) {
    vktest::TempMachine m;
    ASSERT_TRUE(Write("C:\\held.txt", "held"));
    ASSERT_TRUE(Write("C:\\other.txt", "other"));
    ASSERT_EQ(host::HoldFile("C:\\held.txt", true, false, false, FILE_SHARE_READ | FILE_SHARE_DELETE, false),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(platform::DeleteFileA("C:\\held.txt"));
    HANDLE h = platform::CreateFileA("C:\\held.txt", GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(platform::MoveFileA("C:\\other.txt", "C:\\held.txt"));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    // The hold is another program's: it lasts across this process and ends when released.
    m.Reopen();
    EXPECT_FALSE(platform::CopyFileA("C:\\other.txt", "C:\\held.txt", FALSE));
    EXPECT_EQ(host::ReleaseHeldFiles("C:\\held.txt", false), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(fs::exists(m.host("C:\\held.txt")));
    EXPECT_TRUE(platform::MoveFileA("C:\\other.txt", "C:\\held.txt"));

    // A running program's executable: read and renamed, never written or deleted; the image
    // follows its rename, and ends with the program.
    ASSERT_TRUE(Write("C:\\app.exe", "MZ"));
    ASSERT_EQ(host::HoldFile("C:\\app.exe", true, false, false, 0, true), static_cast<DWORD>(ERROR_SUCCESS));
    h = platform::CreateFileA("C:\\app.exe", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    platform::CloseHandle(h);
    EXPECT_EQ(platform::CreateFileA("C:\\app.exe", GENERIC_WRITE, 7, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(platform::DeleteFileA("C:\\app.exe"));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(platform::MoveFileExA("C:\\held.txt", "C:\\app.exe", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(platform::MoveFileA("C:\\app.exe", "C:\\app.old"));
    EXPECT_FALSE(platform::DeleteFileA("C:\\app.old"));
    EXPECT_EQ(host::ReleaseHeldFiles("", true), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(platform::DeleteFileA("C:\\app.old"));

    // 95/98/Me: no MoveFileExA, no FILE_SHARE_DELETE.
    vktest::TempMachine nine("[windows]\nplatform = 1\nmajor = 4\nminor = 10\n");
    ASSERT_TRUE(Write("C:\\a.txt", "a"));
    EXPECT_FALSE(platform::MoveFileExA("C:\\a.txt", "C:\\b.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(platform::CreateFileA("C:\\a.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                    nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(HostFaults, InjectedErrorsFailTheNamedCall) {
    vktest::TempMachine m;
    host::FailCall("CreateFileA", 1, ERROR_DISK_FULL);
    EXPECT_FALSE(Write("C:\\a.txt", "a"));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_FALSE(fs::exists(m.host("C:\\a.txt")));
    EXPECT_TRUE(Write("C:\\a.txt", "a"));  // the next call goes through

    host::FailCall("WriteFile", 1, ERROR_WRITE_FAULT);
    EXPECT_FALSE(Write("C:\\a.txt", "b"));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));

    host::FailCall("FindNextFileA", 1, ERROR_ACCESS_DENIED, true);
    WIN32_FIND_DATAA data;
    HANDLE h = platform::FindFirstFileA("C:\\*", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(platform::FindNextFileA(h, &data));
    EXPECT_FALSE(platform::FindNextFileA(h, &data));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(platform::FindClose(h));

    for (const char* name : {"DeleteFileA", "MoveFileA", "CopyFileA", "GetFileAttributesA", "RemoveDirectoryA"})
        host::FailCall(name, 1, ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(platform::DeleteFileA("C:\\a.txt"));
    EXPECT_FALSE(platform::MoveFileA("C:\\a.txt", "C:\\b.txt"));
    EXPECT_FALSE(platform::CopyFileA("C:\\a.txt", "C:\\b.txt", FALSE));
    EXPECT_EQ(platform::GetFileAttributesA("C:\\a.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(platform::RemoveDirectoryA("C:\\WINDOWS\\TEMP"));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(fs::exists(m.host("C:\\a.txt")));
    EXPECT_FALSE(fs::exists(m.host("C:\\b.txt")));
}

TEST(HostFolders, TempAndSystemFolderBuffers) {
    vktest::TempMachine m("[folders]\ntemp = C:\\Temp\ndocuments = C:\\My Documents\n");
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(platform::GetTempPathA(8, buffer), 9u);  // "C:\Temp\" + NUL
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(platform::GetTempPathA(9, buffer), 8u);
    EXPECT_STREQ(buffer, "C:\\Temp\\");
    EXPECT_EQ(platform::GetSystemDirectoryA(buffer, 19), 20u);
    EXPECT_EQ(platform::GetSystemDirectoryA(buffer, sizeof buffer), 19u);
    EXPECT_STREQ(buffer, "C:\\WINDOWS\\system32");
    EXPECT_EQ(platform::GetSystemDirectoryA(nullptr, 0), 20u);
}

// Windows' CreateDirectoryA keeps room for an 8.3 name below a new folder: 247 characters at
// most (Wine makes longer ones). A longer folder can still be had by renaming a shorter one,
// and files go into it up to the path limit.
TEST(HostFolders, CreateDirectoryLeavesRoomForAnEightDotThreeName) {
    vktest::TempMachine m;
    std::string dbcs = "C:\\";
    for (int i = 0; i < 122; ++i) dbcs += kHyo;  // 125 characters, 247 bytes
    struct Case {
        std::string parent;  // made first, when not empty
        std::string path;
        bool made;
    } cases[] = {
        {"", "C:\\" + std::string(244, 'a'), true},  // 247 characters
        {"", "C:\\" + std::string(245, 'b'), false},  // 248
        {"C:\\c", "C:\\c\\" + std::string(243, 'd'), false},
        {dbcs, dbcs + "\\" + std::string(120, 'e'), true},  // 246 characters, 368 bytes
        {"", dbcs + "\\" + kSo + std::string(121, 'e'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.size());
        if (!c.parent.empty()) {
            ASSERT_TRUE(platform::CreateDirectoryA(c.parent.c_str(), nullptr));
        }
        EXPECT_EQ(platform::CreateDirectoryA(c.path.c_str(), nullptr) != FALSE, c.made);
        if (!c.made) {
            EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
        }
        EXPECT_EQ(platform::GetFileAttributesA(c.path.c_str()) != INVALID_FILE_ATTRIBUTES, c.made);
    }
    const std::string longer = "C:\\" + std::string(250, 'g');
    ASSERT_TRUE(platform::CreateDirectoryA("C:\\g", nullptr));
    ASSERT_TRUE(platform::MoveFileA("C:\\g", longer.c_str())) << platform::GetLastError();
    EXPECT_TRUE(Write(longer + "\\a.txt", "in a folder of 253 characters"));
}

// Windows refuses these; Wine run by root does not, so they are checked here, not in the
// contract tests.
TEST(HostFiles, ReadOnlyFilesRefuseWritesAndReplacement) {
    vktest::TempMachine m;
    ASSERT_TRUE(Write("C:\\ro.txt", "ro"));
    ASSERT_TRUE(Write("C:\\src.txt", "src"));
    ASSERT_TRUE(platform::SetFileAttributesA("C:\\ro.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(platform::GetFileAttributesA("C:\\ro.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(Write("C:\\ro.txt", "x", OPEN_EXISTING));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(Write("C:\\ro.txt", "x", CREATE_ALWAYS));
    EXPECT_FALSE(platform::CopyFileA("C:\\src.txt", "C:\\ro.txt", FALSE));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(platform::MoveFileExA("C:\\src.txt", "C:\\ro.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(m.host("C:\\ro.txt")), "ro");
    // Renaming a read-only file is allowed, and it stays read-only.
    EXPECT_TRUE(platform::MoveFileA("C:\\ro.txt", "C:\\ro2.txt"));
    EXPECT_EQ(platform::GetFileAttributesA("C:\\ro2.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

// Windows changes the spelling when a name differs only in case; Wine keeps the old one.
TEST(HostFiles, RenameChangingOnlyTheCase) {
    vktest::TempMachine m;
    ASSERT_TRUE(Write("C:\\b.txt", "b"));
    ASSERT_TRUE(Write("C:\\old.txt", "old"));
    EXPECT_TRUE(platform::MoveFileA("C:\\b.txt", "C:\\B.TXT"));
    EXPECT_TRUE(fs::exists(m.dir() + "/drive_c/B.TXT"));
    EXPECT_FALSE(fs::exists(m.dir() + "/drive_c/b.txt"));
    // Replacing a file of another spelling leaves one file, spelled as asked.
    EXPECT_TRUE(platform::MoveFileExA("C:\\B.TXT", "C:\\OLD.TXT", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(m.dir() + "/drive_c/OLD.TXT"), "b");
    EXPECT_FALSE(fs::exists(m.dir() + "/drive_c/old.txt"));
}

TEST(HostFiles, FailedCopyKeepsTheOldTarget) {
    vktest::TempMachine m;
    ASSERT_TRUE(Write("C:\\src.txt", "new"));
    ASSERT_TRUE(Write("C:\\dst.txt", "old"));
    HANDLE h = platform::CreateFileA("C:\\dst.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(platform::CopyFileA("C:\\src.txt", "C:\\dst.txt", FALSE));  // open without delete sharing
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    platform::CloseHandle(h);
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(m.host("C:\\dst.txt")), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(m.host("C:\\")), fs::directory_iterator()), 3);  // + WINDOWS

    EXPECT_FALSE(platform::CloseHandle(h));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// CopyFileA writes its destination in place, as Windows does: a copy killed in the middle stays
// cut off under its own name. Each piece written is a point where a kill may land.
TEST(HostFiles, CopyWritesItsDestinationInPlace) {
    vktest::TempMachine m;
    const std::string bytes(200000, 'x');  // four pieces of at most 64 KB
    ASSERT_TRUE(Write("C:\\src.db", bytes));
    std::string record = m.dir() + "/calls", error;
    ASSERT_TRUE(host::WatchCalls(record, "", &error)) << error;
    EXPECT_TRUE(platform::CopyFileA("C:\\src.db", "C:\\whole.db", TRUE));
    ASSERT_TRUE(host::WatchCalls("", "", &error));
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(record),
              "CopyFileA 1\nCopyFileA.piece 1\nCopyFileA.piece 2\nCopyFileA.piece 3\nCopyFileA.piece 4\n");

    // Killed at its third counted point, after two pieces.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        host::WatchCalls("", "3", &error);
        platform::CopyFileA("C:\\src.db", "C:\\cut.db", TRUE);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(fs::file_size(m.host("C:\\cut.db")), 2u * 65536);

    // A copy that fails (the disk full) is removed, and nothing is left beside it.
    {
        vktest::FileSizeLimit full(100000);
        EXPECT_FALSE(platform::CopyFileA("C:\\src.db", "C:\\full.db", TRUE));
    }
    EXPECT_FALSE(fs::exists(m.host("C:\\full.db")));
    EXPECT_EQ(std::distance(fs::directory_iterator(m.host("C:\\")), fs::directory_iterator()), 4);  // + WINDOWS
}

TEST(HostAttributes, AFailedSaveOfTheAttributesIsTheCallsFailure) {
    vktest::TempMachine m;
    vktest::TempMachine::WriteHostFile(m.host("C:\\a.txt"), "a");
    {
        vktest::FileSizeLimit full(16);  // attributes.txt cannot be written
        EXPECT_FALSE(platform::SetFileAttributesA("C:\\a.txt", FILE_ATTRIBUTE_READONLY));
        EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
        EXPECT_EQ(platform::CreateFileA("C:\\h.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN,
                                        nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    }
    EXPECT_EQ(platform::GetFileAttributesA("C:\\a.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(platform::GetFileAttributesA("C:\\h.txt"), INVALID_FILE_ATTRIBUTES);  // not left half made
}

TEST(HostNames, ShortAliasesAndCaseFoldingFollowWindows) {
    vktest::TempMachine m;
    // Full-width, Greek and Cyrillic letters are one name whatever their case.
    ASSERT_TRUE(platform::CreateDirectoryA("C:\\\x82\x60\x83\x9f\x84\x40", nullptr));  // ＡΑА
    EXPECT_FALSE(platform::CreateDirectoryA("C:\\\x82\x81\x83\xbf\x84\x70", nullptr));  // ａαа
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    // Aliases count up past the names already taken, and "shortnames = 0" has none.
    for (const char* name : {"long name one.txt", "long name two.txt", "LONGNA~1.TXT"})
        vktest::TempMachine::WriteHostFile(m.host(std::string("C:\\") + name), "x");
    WIN32_FIND_DATAA data;
    HANDLE h = platform::FindFirstFileA("C:\\long name two.txt", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cAlternateFileName, "LONGNA~3.TXT");
    platform::FindClose(h);
    vktest::TempMachine plain("[windows]\nshortnames = 0\n");
    vktest::TempMachine::WriteHostFile(plain.host("C:\\e.lstx"), "x");
    EXPECT_EQ(platform::FindFirstFileA("C:\\*.LST", &data), INVALID_HANDLE_VALUE);
}

TEST(HostNames, ManyLongNamesWithOneBeginningCountUpTheirAliases) {
    vktest::TempMachine m;
    ASSERT_TRUE(platform::CreateDirectoryA("C:\\many", nullptr));
    // Past ~9 the alias keeps five characters; an 8.3 name already there is passed over.
    for (int i = 1; i <= 12; ++i)
        vktest::TempMachine::WriteHostFile(m.host("C:\\many\\Long name " + std::to_string(100 + i) + ".txt"), "x");
    for (const char* name : {"LONGNA~2.TXT", "longn~10.txt", "long name x.htm"})
        vktest::TempMachine::WriteHostFile(m.host(std::string("C:\\many\\") + name), "x");
    std::string listed;
    WIN32_FIND_DATAA data;
    HANDLE h = platform::FindFirstFileA("C:\\many\\long*", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    do {
        listed += std::string(data.cFileName) + "=" + data.cAlternateFileName + " ";
        // Each alias names its file.
        std::string byAlias = std::string("C:\\many\\") + (data.cAlternateFileName[0] ? data.cAlternateFileName : data.cFileName);
        EXPECT_NE(platform::GetFileAttributesA(byAlias.c_str()), INVALID_FILE_ATTRIBUTES) << byAlias;
    } while (platform::FindNextFileA(h, &data));
    platform::FindClose(h);
    EXPECT_EQ(listed,
              "Long name 101.txt=LONGNA~1.TXT Long name 102.txt=LONGNA~3.TXT Long name 103.txt=LONGNA~4.TXT "
              "Long name 104.txt=LONGNA~5.TXT Long name 105.txt=LONGNA~6.TXT Long name 106.txt=LONGNA~7.TXT "
              "Long name 107.txt=LONGNA~8.TXT Long name 108.txt=LONGNA~9.TXT Long name 109.txt=LONGN~11.TXT "
              "Long name 110.txt=LONGN~12.TXT Long name 111.txt=LONGN~13.TXT Long name 112.txt=LONGN~14.TXT "
              "long name x.htm=LONGNA~1.HTM LONGNA~2.TXT= longn~10.txt= ");
}

TEST(HostFolders, ChangesMadeBehindTheMachineAreSeenAtOnce) {
    // Each after the folder was looked into (and kept): made, deleted and renamed on the host.
    struct Case {
        const char* what;
        void (*change)(const std::string& folder);
        const char* present;  // by another spelling, or by its alias
        const char* absent;
    } cases[] = {
        {"a file made", [](const std::string& f) { vktest::TempMachine::WriteHostFile(f + "/long name made.txt", "x"); },
         "C:\\f\\LONGNA~1.TXT", nullptr},
        {"a file deleted", [](const std::string& f) { fs::remove(f + "/Old.txt"); }, nullptr, "C:\\f\\OLD.TXT"},
        {"a file renamed", [](const std::string& f) { fs::rename(f + "/Old.txt", f + "/New.txt"); }, "C:\\f\\NEW.TXT",
         "C:\\f\\OLD.TXT"},
        {"the folder replaced", [](const std::string& f) {
             fs::rename(f, f + ".gone");
             fs::create_directory(f);
             vktest::TempMachine::WriteHostFile(f + "/Other.txt", "x");
         }, "C:\\f\\OTHER.TXT", "C:\\f\\OLD.TXT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vktest::TempMachine m;
        ASSERT_TRUE(platform::CreateDirectoryA("C:\\f", nullptr));
        ASSERT_TRUE(Write("C:\\f\\Old.txt", "old"));
        EXPECT_NE(platform::GetFileAttributesA("C:\\f\\old.TXT"), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(platform::GetFileAttributesA("C:\\f\\NEW.TXT"), INVALID_FILE_ATTRIBUTES);
        c.change(m.host("C:\\f"));
        if (c.present != nullptr) {
            EXPECT_NE(platform::GetFileAttributesA(c.present), INVALID_FILE_ATTRIBUTES);
        }
        if (c.absent != nullptr) {
            EXPECT_EQ(platform::GetFileAttributesA(c.absent), INVALID_FILE_ATTRIBUTES);
        }
        WIN32_FIND_DATAA data;
        HANDLE h = platform::FindFirstFileA("C:\\f\\*.TXT", &data);
        std::string listed;
        for (bool more = h != INVALID_HANDLE_VALUE; more; more = platform::FindNextFileA(h, &data))
            listed += std::string(data.cFileName) + " ";
        if (h != INVALID_HANDLE_VALUE) platform::FindClose(h);
        if (c.present != nullptr) {
            EXPECT_NE(listed, "");
        }
        if (c.absent != nullptr) {
            EXPECT_EQ(listed.find("Old.txt"), std::string::npos) << listed;
        }
    }
}

// A forked child that goes on with its parent's open machine takes the machine's lock for itself:
// both change attributes.txt at once, and no change is lost.
TEST(HostAttributes, AForkedChildAndItsParentChangeAttributesInTurn) {
    vktest::TempMachine m;
    const int kFiles = 60;
    for (int i = 0; i < kFiles; ++i) ASSERT_TRUE(Write("C:\\f" + std::to_string(i) + ".txt", "x"));
    auto mark = [](int parity) {
        bool ok = true;
        for (int round = 0; round < 3; ++round)
            for (int i = parity; i < kFiles; i += 2)
                ok = platform::SetFileAttributesA(("C:\\f" + std::to_string(i) + ".txt").c_str(),
                                                  round == 2 ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_SYSTEM) && ok;
        return ok;
    };
    pid_t pid = fork();
    if (pid == 0) _exit(mark(1) ? 0 : 1);
    EXPECT_TRUE(mark(0));
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    m.Reopen();
    for (int i = 0; i < kFiles; ++i)
        EXPECT_EQ(platform::GetFileAttributesA(("C:\\f" + std::to_string(i) + ".txt").c_str()),
                  DWORD{FILE_ATTRIBUTE_HIDDEN}) << i;
}

// A folder looked into stays the folder at its path only while the folders above it do, and an
// entry keeps its type only while it is not made anew.
TEST(HostFolders, FoldersAboveAndTypesChangedBehindTheMachineAreSeen) {
    vktest::TempMachine m;
    ASSERT_TRUE(platform::CreateDirectoryA("C:\\p", nullptr));
    ASSERT_TRUE(platform::CreateDirectoryA("C:\\p\\f", nullptr));
    ASSERT_TRUE(Write("C:\\p\\f\\Old.txt", "old"));
    EXPECT_EQ(platform::GetFileAttributesA("C:\\p\\f\\old.TXT"), DWORD{FILE_ATTRIBUTE_ARCHIVE});
    const std::string p = m.host("C:\\p");
    fs::rename(p, p + ".gone");
    fs::create_directories(p + "/f");
    vktest::TempMachine::WriteHostFile(p + "/f/Other.txt", "x");
    EXPECT_EQ(platform::GetFileAttributesA("C:\\p\\f\\OLD.TXT"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(platform::GetFileAttributesA("C:\\p\\f\\other.txt"), DWORD{FILE_ATTRIBUTE_ARCHIVE});
    fs::remove(p + "/f/Other.txt");
    fs::create_directory(p + "/f/Other.txt");
    EXPECT_EQ(platform::GetFileAttributesA("C:\\p\\f\\other.txt"), DWORD{FILE_ATTRIBUTE_DIRECTORY});
}

TEST(HostFolders, AForkedChildLeavesItsParentTheNewsOfItsFolders) {
    vktest::TempMachine m;
    ASSERT_TRUE(platform::CreateDirectoryA("C:\\f", nullptr));
    EXPECT_EQ(platform::GetFileAttributesA("C:\\f\\MADE.TXT"), INVALID_FILE_ATTRIBUTES);
    pid_t pid = fork();
    if (pid == 0) {
        // The child makes a file, then looks into the folder, as the parent does after it.
        bool made = Write("C:\\f\\Made.txt", "x");
        bool seen = platform::GetFileAttributesA("C:\\f\\made.TXT") != INVALID_FILE_ATTRIBUTES;
        _exit(made && seen ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(platform::GetFileAttributesA("C:\\f\\MADE.TXT"), INVALID_FILE_ATTRIBUTES);
}

// A process keeps the side files it has read; what another process writes in between is read
// again, and a later write of this process keeps it.
TEST(HostAttributes, WhatAnotherProcessWroteMeanwhileIsReadAndKept) {
    vktest::TempMachine m;
    ASSERT_TRUE(Write("C:\\a.txt", "a"));
    ASSERT_TRUE(Write("C:\\b.txt", "b"));
    EXPECT_EQ(platform::GetFileAttributesA("C:\\a.txt"), DWORD{FILE_ATTRIBUTE_ARCHIVE});
    pid_t pid = fork();
    if (pid == 0) _exit(platform::SetFileAttributesA("C:\\a.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN) ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(platform::GetFileAttributesA("C:\\a.txt"), DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN});
    ASSERT_TRUE(platform::SetFileAttributesA("C:\\b.txt", FILE_ATTRIBUTE_SYSTEM));
    m.Reopen();
    EXPECT_EQ(platform::GetFileAttributesA("C:\\a.txt"), DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN});
    EXPECT_EQ(platform::GetFileAttributesA("C:\\b.txt"), DWORD{FILE_ATTRIBUTE_SYSTEM});
}

TEST(HostNames, NamesLongerThanTheHostAllowsAreKeptWholeAndFoldedAsWindowsFolds) {
    vktest::TempMachine m;
    ASSERT_TRUE(platform::CreateDirectoryA("C:\\d", nullptr));
    std::string folder = "C:\\";  // 100 Japanese characters, 300 bytes of UTF-8
    for (int i = 0; i < 50; ++i) folder += "\x95\x5c\x82\xa0";  // 表あ
    ASSERT_TRUE(platform::CreateDirectoryA(folder.c_str(), nullptr)) << platform::GetLastError();
    ASSERT_TRUE(Write(folder + "\\inside.txt", "inside"));
    EXPECT_EQ(platform::GetFileAttributesA((folder + "\\INSIDE.TXT").c_str()), FILE_ATTRIBUTE_ARCHIVE);
    // 127 full-width letters: 254 bytes here, 381 bytes of UTF-8, past Linux's 255 a name.
    std::string lower, upper, other;
    for (int i = 0; i < 127; ++i) {
        lower += "\x82\x81";  // a
        upper += "\x82\x60";  // A
        other += "\x82\x82";  // b
    }
    ASSERT_TRUE(Write("C:\\d\\" + lower, "long")) << platform::GetLastError();
    EXPECT_FALSE(Write("C:\\d\\" + upper, "again", CREATE_NEW));  // the same name in another case
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    for (const auto& entry : fs::directory_iterator(m.host("C:\\d")))
        EXPECT_LE(entry.path().filename().string().size(), 255u);

    // Renamed to another long name and reopened by a new process: listed and read as written.
    ASSERT_TRUE(platform::MoveFileA(("C:\\d\\" + upper).c_str(), ("C:\\d\\" + other).c_str()));
    m.Reopen();
    WIN32_FIND_DATAA data;
    HANDLE h = platform::FindFirstFileA("C:\\d\\*", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    platform::FindNextFileA(h, &data);  // past "." and ".."
    platform::FindNextFileA(h, &data);
    EXPECT_EQ(std::string(data.cFileName), other);
    EXPECT_EQ(data.nFileSizeLow, 4u);
    EXPECT_FALSE(platform::FindNextFileA(h, &data));
    platform::FindClose(h);
    EXPECT_EQ(platform::GetFileAttributesA(("C:\\d\\" + lower).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(platform::DeleteFileA(("C:\\d\\" + other).c_str()));
    EXPECT_TRUE(fs::is_empty(m.host("C:\\d")));
}

}  // namespace
