// The driver service, settings defaults, relocation and shortcut where they need injected
// faults or a machine of a chosen kind.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "payload/driver_service.h"
#include "platform/files.h"
#include "emulator/machine/host.h"
#include "emulator/shell/shell_control.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "postinstall/get_data_folder.h"
#include "postinstall/relocate_data_files.h"
#include "postinstall/program_shortcut.h"
#include "postinstall/settings_defaults.h"
#include "process/process_state.h"
#include "support/temp_machine.h"
#include "text/path_text.h"

namespace {

using platform::host::CallCount;
using platform::host::FailCall;
using vktest::TempMachine;

// Opens the machine and sets up the updater's state as the entry point does.
void Start(TempMachine&) {
    InitProcessState(platform::host::ModuleHandle());
}

void MakeKey(HKEY root, const char* path) {
    HKEY key = nullptr;
    ASSERT_EQ(platform::RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    platform::RegCloseKey(key);
}

// The value's bytes, or "<missing>".
std::string Bytes(HKEY root, const char* path, const char* name) {
    HKEY key = nullptr;
    if (platform::RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
    char data[600];
    DWORD size = sizeof data, type = 0;
    LONG r = platform::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    platform::RegCloseKey(key);
    return r == ERROR_SUCCESS ? std::string(data, size) : "<missing>";
}

void MakeFile(const std::string& path, const std::string& bytes) {
    HANDLE h = platform::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    platform::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    platform::CloseHandle(h);
}

bool Exists(const std::string& path) { return platform::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

const char kServices[] = "SYSTEM\\CurrentControlSet\\Services";
const char kService[] = "SYSTEM\\CurrentControlSet\\Services\\cdrvkvsd";

TEST(DriverServiceHost, FirstFailingStepEndsIt) {
    struct {
        const char* what;
        const char* call;
        int occurrence;
        bool keyMade;
        int valuesWritten;
    } cases[] = {
        {"services key does not open", "RegOpenKeyExA", 1, false, 0},
        {"service key cannot be made", "RegCreateKeyExA", 1, false, 0},
        {"Start cannot be written", "RegSetValueExA", 3, true, 2},
    };
    const char* names[] = {"ErrorControl", "Group", "Start", "Tag", "Type"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempMachine m;
        Start(m);
        MakeKey(HKEY_LOCAL_MACHINE, kServices);
        FailCall(c.call, c.occurrence, ERROR_ACCESS_DENIED);
        int closes = CallCount("RegCloseKey");
        EXPECT_EQ(RegisterDriverService(), 0);
        // Every key it opened is closed again.
        EXPECT_EQ(CallCount("RegCloseKey") - closes, c.keyMade ? 2 : c.call == std::string("RegCreateKeyExA") ? 1 : 0);
        HKEY key = nullptr;
        EXPECT_EQ(platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kService, 0, KEY_READ, &key) == ERROR_SUCCESS,
                  c.keyMade);
        if (key != nullptr) platform::RegCloseKey(key);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(Bytes(HKEY_LOCAL_MACHINE, kService, names[i]) != "<missing>", i < c.valuesWritten) << names[i];
    }
}

// What each family stores for a text written without its NUL: NT adds the NUL that follows,
// 95/98 stores text and NUL whatever the length.
TEST(SettingsDefaultsHost, TextsStoredAsEachFamilyStoresThem) {
    struct {
        int platform;
        std::string proxy;
    } cases[] = {{2, ""}, {1, std::string(1, '\0')}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.platform);
        TempMachine m("[windows]\nplatform = " + std::to_string(c.platform) + "\n[folders]\ntemp = C:\\TEMP\\\n");
        Start(m);
        MakeKey(HKEY_CURRENT_USER, "Software");
        ApplySettingsDefaults();
        const char* key = "Software\\Orvane\\VkTARN";
        EXPECT_EQ(Bytes(HKEY_CURRENT_USER, key, "TempFolder"), std::string("C:\\TEMP\\") + '\0');
        EXPECT_EQ(Bytes(HKEY_CURRENT_USER, key, "Proxy"), c.proxy);
    }
}

TEST(SettingsDefaultsHost, NothingWrittenWithoutTheSoftwareKey) {
    TempMachine m;
    Start(m);
    ApplySettingsDefaults();
    EXPECT_EQ(CallCount("RegSetValueExA"), 0);
    EXPECT_EQ(CallCount("RegCreateKeyExA"), 0);
}

class RelocationHost : public ::testing::Test {
protected:
    // A machine whose documents folder is `documents` (UTF-8 in machine.ini), made here.
    void Open(const std::string& ini, const std::string& documents) {
        machine_.reset();  // closes the machine before the next opens
        machine_.reset(new TempMachine(ini + "[folders]\ndocuments = " + documents + "\n"));
        Start(*machine_);
        std::string ansi;
        ASSERT_TRUE(platform::host::Utf8ToAnsi(documents, &ansi));
        std::filesystem::create_directories(machine_->dir() + "/drive_x");
        std::string at;
        for (size_t i = 0; i <= ansi.size(); ++i) {
            if (i == ansi.size() || (ansi[i] == '\\' && i > 2 && !platform::host::IsLeadByte(ansi[i - 1]))) {
                platform::CreateDirectoryA(ansi.substr(0, i).c_str(), nullptr);
            }
        }
        documents_ = ansi;
    }
    std::unique_ptr<TempMachine> machine_;
    std::string documents_;
};

TEST_F(RelocationHost, BareDriveRootJoinedWithABackslash) {
    Open("", "C:\\Docs");
    for (const char* name : {"X:\\VKCDDB.DB", "X:\\CHG.LOG", "X:\\a.lst"}) MakeFile(name, name);
    RelocateDataFiles("X:");
    for (const char* name : {"VKCDDB.DB", "CHG.LOG", "a.lst"}) {
        EXPECT_TRUE(Exists(std::string("C:\\Docs\\VkTARN Data\\") + name)) << name;
        EXPECT_FALSE(Exists(std::string("X:\\") + name)) << name;
    }
}

TEST_F(RelocationHost, DocumentsEndingInATrailByteOfBackslash) {
    Open("", "C:\\\xE8\xA1\xA8");  // 表: 0x95 0x5C in code page 932
    ASSERT_EQ(documents_, "C:\\\x95\x5C");
    MakeFile("C:\\CHG.LOG", "log");
    RelocateDataFiles("C:\\");
    EXPECT_TRUE(Exists("C:\\\x95\x5C\\VkTARN Data\\CHG.LOG"));
}

TEST_F(RelocationHost, NothingMovedWhenTheDataFolderIsNotSafe) {
    struct {
        const char* what;
        const char* ini;
        const char* failCall;  // injected failure, or null
        bool documentsMissing;
        int libraryLoads;
        bool dataFolderMade;
    } cases[] = {
        {"no SHGetFolderPathA", "[windows]\nshfolder = 0\n", nullptr, false, 2, false},
        // SHELL32.DLL is no known DLL on 98: it loads (and is freed) only by its full path.
        {"no SHGetFolderPathA on 98", "[windows]\nplatform = 1\nmajor = 4\nminor = 10\nshfolder = 0\n", nullptr,
         false, 2, false},
        {"documents folder missing", "", nullptr, true, 1, false},
        {"copy fails", "", "CopyFileA", false, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Open(c.ini, "C:\\Docs");
        if (c.documentsMissing) {
            ASSERT_TRUE(platform::RemoveDirectoryA("C:\\Docs"));
        }
        ASSERT_TRUE(platform::CreateDirectoryA("C:\\App", nullptr));
        MakeFile("C:\\App\\VKCDDB.DB", "db");
        if (c.failCall != nullptr) FailCall(c.failCall, 1, ERROR_DISK_FULL, true);
        RelocateDataFiles("C:\\App");
        EXPECT_TRUE(Exists("C:\\App\\VKCDDB.DB"));
        EXPECT_EQ(Exists("C:\\Docs\\VkTARN Data"), c.dataFolderMade);
        EXPECT_FALSE(Exists("VkTARN Data"));
        EXPECT_EQ(CallCount("LoadLibraryA"), c.libraryLoads);
        EXPECT_EQ(CallCount("FreeLibrary"), 1);
        if (c.failCall == nullptr) {
            char folder[PATH_BUFFER_SIZE];
            EXPECT_EQ(GetDataFolder(folder, sizeof folder, AppModule, 47), 0);
            EXPECT_STREQ(folder, "C:\\WINDOWS\\TEMP\\");  // the folder of C:\WINDOWS\TEMP\vkupdate.exe
        }
    }
}

TEST_F(RelocationHost, DataFolderThatIsTheInstallFolderLosesNothing) {
    Open("", "C:\\Docs");
    ASSERT_TRUE(platform::CreateDirectoryA("C:\\Docs\\VkTARN Data", nullptr));
    MakeFile("C:\\Docs\\VkTARN Data\\VKCDDB.DB", "only copy");
    MakeFile("C:\\Docs\\VkTARN Data\\x.LST", "list");
    RelocateDataFiles("C:\\Docs\\VkTARN Data");
    EXPECT_TRUE(Exists("C:\\Docs\\VkTARN Data\\VKCDDB.DB"));
    EXPECT_TRUE(Exists("C:\\Docs\\VkTARN Data\\x.LST"));
}

// A copy cut short must never stand under a data file's own name, where every later run would
// keep it: whatever goes wrong, each file is whole in one of the two folders, and no partial
// copy is left behind.
TEST_F(RelocationHost, AFileIsWholeInOneOfTheFoldersWhateverHappens) {
    const std::string database(300000, 'D');  // larger than the disk's room below
    const char* const data = "C:\\Docs\\VkTARN Data\\";
    struct {
        const char* what;
        std::function<void()> make;
        const char* inData;   // the name that ends in the data folder: "moved", "kept" (the source stays)
        DWORD readOnly;       // the moved database's read-only bit
    } cases[] = {
        {"a read-only partial copy an earlier run left", [&] {
             MakeFile(std::string(data) + "VKMOVE.TMP", "cut");
             platform::SetFileAttributesA((std::string(data) + "VKMOVE.TMP").c_str(), FILE_ATTRIBUTE_READONLY);
         }, "moved", 0},
        {"read-only data files", [] {
             for (const char* name : {"C:\\App\\VKCDDB.DB", "C:\\App\\CHG.LOG", "C:\\App\\a.LST"})
                 platform::SetFileAttributesA(name, FILE_ATTRIBUTE_READONLY);
         }, "moved", FILE_ATTRIBUTE_READONLY},
        {"the disk full during the copy", [] {}, "kept", 0},
        {"the rename of the copy failing", [] { FailCall("MoveFileA", 1, ERROR_ACCESS_DENIED, true); }, "kept", 0},
        // The product left running holds its database: without sharing, the copy cannot read
        // it; sharing reads only, the source cannot be deleted after the copy, which goes again.
        {"the database held without sharing",
         [] { platform::host::HoldFile("C:\\App\\VKCDDB.DB", true, true, false, 0, false); }, "kept", 0},
        {"the database held sharing reads",
         [] { platform::host::HoldFile("C:\\App\\VKCDDB.DB", true, false, false, FILE_SHARE_READ, false); }, "kept", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Open("", "C:\\Docs");
        ASSERT_TRUE(platform::CreateDirectoryA("C:\\App", nullptr));
        ASSERT_TRUE(platform::CreateDirectoryA("C:\\Docs\\VkTARN Data", nullptr));
        MakeFile("C:\\App\\VKCDDB.DB", database);
        MakeFile("C:\\App\\CHG.LOG", "log");
        MakeFile("C:\\App\\a.LST", "list");
        c.make();
        {
            std::unique_ptr<vktest::FileSizeLimit> full;
            if (std::string(c.what).find("disk full") != std::string::npos)
                full = std::make_unique<vktest::FileSizeLimit>(100000);
            RelocateDataFiles("C:\\App");
        }
        std::string database_in_data = machine_->ReadHostFile(machine_->host(std::string(data) + "VKCDDB.DB"));
        if (std::string(c.inData) == "moved") {
            EXPECT_TRUE(database_in_data == database);
            EXPECT_FALSE(Exists("C:\\App\\VKCDDB.DB"));
            EXPECT_EQ(platform::GetFileAttributesA((std::string(data) + "VKCDDB.DB").c_str()) & FILE_ATTRIBUTE_READONLY,
                      c.readOnly);
        } else {
            EXPECT_EQ(database_in_data, "") << "nothing under the final name";
            EXPECT_TRUE(machine_->ReadHostFile(machine_->host("C:\\App\\VKCDDB.DB")) == database);
        }
        EXPECT_FALSE(Exists(std::string(data) + "VKMOVE.TMP"));
    }
}

class ShortcutHost : public ::testing::Test {
protected:
    void Open(const std::string& ini, const std::string& programs) {
        machine_.reset();  // closes the machine before the next opens
        machine_.reset(new TempMachine(ini));
        Start(*machine_);
        std::filesystem::create_directories(machine_->dir() + "/drive_x");
        std::filesystem::create_directories(machine_->dir() + "/drive_c/Programs/Velkor TARN");
        HKEY key = nullptr;
        ASSERT_EQ(platform::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kShellFolders, 0, nullptr, 0, KEY_ALL_ACCESS,
                                            nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        platform::RegSetValueExA(key, "Common Programs", 0, REG_SZ, reinterpret_cast<const BYTE*>(programs.c_str()),
                                 static_cast<DWORD>(programs.size() + 1));
        platform::RegCloseKey(key);
        platform::host::ClearFaults();
    }
    std::string Link() const {
        return vktest::TempMachine::ReadHostFile(machine_->dir() + "/drive_c/Programs/Velkor TARN/Velkor TARN.lnk");
    }
    const char* kShellFolders = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    std::unique_ptr<TempMachine> machine_;
};

TEST_F(ShortcutHost, OlderVersionsDoNotOpenTheRegistry) {
    for (const char* version : {"major = 5\nminor = 0\n", "major = 6\nminor = 0\n", "major = 4\nminor = 10\n"}) {
        SCOPED_TRACE(version);
        Open(std::string("[windows]\n") + version, "C:\\Programs");
        RefreshProgramShortcut("X:");
        EXPECT_EQ(CallCount("RegOpenKeyA"), 0);
        EXPECT_EQ(CallCount("CoInitialize"), 0);
        EXPECT_EQ(Link(), "");
    }
}

TEST_F(ShortcutHost, BareDriveRootTargetAndWorkingFolder) {
    Open("", "C:\\Programs");
    RefreshProgramShortcut("X:");
    std::string link = Link();
    ASSERT_GT(link.size(), 0x4Cu);
    // The local base path and the working folder as UTF-16 string data.
    EXPECT_NE(link.find(std::string("X:\\VKTARN.EXE") + '\0'), std::string::npos);
    EXPECT_NE(link.find(std::string("\x02\x00X\x00:\x00", 6)), std::string::npos);
}

TEST_F(ShortcutHost, NoShortcutFromAPathThatDoesNotFitOrCannotBeRead) {
    struct {
        const char* what;
        std::string programs;
    } cases[] = {
        {"path too long with the name", "C:\\" + std::string(240, 'a')},
        {"value missing", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Open("", c.programs);
        if (c.programs.empty()) {
            HKEY key = nullptr;
            platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kShellFolders, 0, KEY_ALL_ACCESS, &key);
            platform::RegDeleteValueA(key, "Common Programs");
            platform::RegCloseKey(key);
        }
        RefreshProgramShortcut("C:\\App");
        EXPECT_EQ(CallCount("CoCreateInstance"), 0);
        EXPECT_EQ(Link(), "");
    }
}

TEST_F(ShortcutHost, EveryInterfaceReleasedOnEveryWayOut) {
    struct {
        const char* failCall;
        int result;
    } cases[] = {{nullptr, 1}, {"CoCreateInstance", 0}, {"QueryInterface", 0}, {"IPersistFile::Save", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failCall != nullptr ? c.failCall : "none");
        Open("", "C:\\Programs");
        if (c.failCall != nullptr) FailCall(c.failCall, 1, ERROR_ACCESS_DENIED);
        EXPECT_EQ(CreateShellShortcut("C:\\App\\VKTARN.EXE", "", "C:\\App", 10,
                                      "C:\\Programs\\Velkor TARN\\Velkor TARN.lnk"),
                  c.result);
        EXPECT_EQ(platform::host::LiveShellLinks(), 0);
        EXPECT_EQ(platform::host::ComInitializeDepth(), 0);
        EXPECT_EQ(CallCount("CoUninitialize"), 1);
        EXPECT_EQ(Link().empty(), c.result == 0);
    }
}

}  // namespace
