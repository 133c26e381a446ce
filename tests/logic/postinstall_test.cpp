// The driver service entry, the settings defaults, the data-file relocation and the shortcut
// refresh, on both builds; values are compared with the bytes Windows NT stores.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "logic/logic_fixture.h"
#include "logic/postinstall_support.h"
#include "payload/driver_service.h"
#include "platform/shell.h"
#include "postinstall/get_documents_folder.h"
#include "postinstall/relocate_data_files.h"
#include "postinstall/program_shortcut.h"
#include "postinstall/settings_defaults.h"
#include "process/process_state.h"

namespace {

const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\cdrvkvsd";
const char kSettingsKey[] = "Software\\Orvane\\VkTARN";
const char kShellFolders[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

struct Value {
    bool present = false;
    DWORD type = REG_NONE;
    std::string bytes;
};

Value Read(HKEY root, const char* path, const char* name) {
    Value v;
    HKEY key = nullptr;
    if (platform::RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return v;
    char data[2048];
    DWORD size = sizeof data;
    if (platform::RegQueryValueExA(key, name, nullptr, &v.type, reinterpret_cast<BYTE*>(data), &size) ==
        ERROR_SUCCESS) {
        v.present = true;
        v.bytes.assign(data, size);
    }
    platform::RegCloseKey(key);
    return v;
}

void Write(HKEY root, const char* path, const char* name, DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(platform::RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    platform::RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size()));
    platform::RegCloseKey(key);
}

std::string Dword(DWORD n) { return std::string(reinterpret_cast<const char*>(&n), 4); }
// A text as Windows NT stores it when the NUL is left out of the length: with its NUL.
std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

class PostInstall : public Logic {
protected:
    void SetUp() override {
        Logic::SetUp();
        // The services key, as every system has it.
        HKEY services = nullptr;
        ASSERT_EQ(platform::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services", 0, nullptr,
                                            0, KEY_ALL_ACCESS, nullptr, &services, nullptr),
                  ERROR_SUCCESS);
        platform::RegCloseKey(services);
        RemoveKey(HKEY_LOCAL_MACHINE, kServiceKey);
        RemoveKey(HKEY_CURRENT_USER, "Software\\Orvane");
    }
    void TearDown() override {
        RemoveKey(HKEY_LOCAL_MACHINE, kServiceKey);
        RemoveKey(HKEY_CURRENT_USER, "Software\\Orvane");
        Logic::TearDown();
    }
};

TEST_F(PostInstall, DriverServiceGetsExactlyTheFiveValuesAndKeepsOthers) {
    for (bool withImagePath : {false, true}) {
        SCOPED_TRACE(withImagePath ? "existing key with an image path" : "absent key");
        RemoveKey(HKEY_LOCAL_MACHINE, kServiceKey);
        if (withImagePath) {
            Write(HKEY_LOCAL_MACHINE, kServiceKey, "ImagePath", REG_SZ, Sz("System32\\Drivers\\old.sys"));
            Write(HKEY_LOCAL_MACHINE, kServiceKey, "Start", REG_DWORD, Dword(3));
            Write(HKEY_LOCAL_MACHINE, kServiceKey, "Group", REG_DWORD, Dword(9));
        }
        EXPECT_EQ(RegisterDriverService(), 1);
        struct {
            const char* name;
            DWORD type;
            std::string bytes;
        } expected[] = {{"ErrorControl", REG_DWORD, Dword(0)}, {"Group", REG_SZ, Sz("Filter")},
                        {"Start", REG_DWORD, Dword(1)},        {"Tag", REG_DWORD, Dword(6)},
                        {"Type", REG_DWORD, Dword(1)}};
        for (const auto& e : expected) {
            Value v = Read(HKEY_LOCAL_MACHINE, kServiceKey, e.name);
            EXPECT_TRUE(v.present) << e.name;
            EXPECT_EQ(v.type, e.type) << e.name;
            EXPECT_EQ(v.bytes, e.bytes) << e.name;
        }
        Value image = Read(HKEY_LOCAL_MACHINE, kServiceKey, "ImagePath");
        EXPECT_EQ(image.present, withImagePath);
        if (withImagePath) {
            EXPECT_EQ(image.bytes, Sz("System32\\Drivers\\old.sys"));
        }
    }
}

TEST_F(PostInstall, SettingsDefaultsFillMissingValuesAndResetTwo) {
    char temp[MAX_PATH + 1] = "";
    ASSERT_GT(platform::GetTempPathA(sizeof temp, temp), 0u);
    const std::string longProxy(300, 'p');
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, Value>> before;  // value name (or "\\name" under Software)
        std::vector<std::pair<std::string, Value>> after;   // expectations beyond the defaults
    } cases[] = {
        {"fresh key", {}, {}},
        {"EnableEncode and CopyBadSector 1",
         {{"EnableEncode", {true, REG_DWORD, Dword(1)}}, {"CopyBadSector", {true, REG_DWORD, Dword(1)}}},
         {}},
        {"existing Port and others kept",
         {{"Proxy", {true, REG_SZ, ""}}, {"Port", {true, REG_DWORD, Dword(8080)}},
          {"MediaBar", {true, REG_DWORD, Dword(2)}}, {"DVDCompatible", {true, REG_DWORD, Dword(1)}}},
         {{"Port", {true, REG_DWORD, Dword(8080)}}, {"MediaBar", {true, REG_DWORD, Dword(2)}},
          {"DVDCompatible", {true, REG_DWORD, Dword(1)}}}},
        {"300-character Proxy", {{"Proxy", {true, REG_SZ, Sz(longProxy)}}}, {}},
        {"DVDCompatible under Software", {{"\\DVDCompatible", {true, REG_DWORD, Dword(1)}}}, {}},
        {"TempFolder holding a missing path",
         {{"TempFolder", {true, REG_SZ, Sz("Q:\\gone\\")}}},
         {{"TempFolder", {true, REG_SZ, Sz("Q:\\gone\\")}}}},
        {"a 32-bit setting of 8 bytes", {{"SearchISRC", {true, REG_BINARY, std::string(8, '\1')}}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveKey(HKEY_CURRENT_USER, "Software\\Orvane");
        for (const auto& b : c.before) {
            bool underSoftware = b.first[0] == '\\';
            Write(HKEY_CURRENT_USER, underSoftware ? "Software" : kSettingsKey,
                  b.first.c_str() + (underSoftware ? 1 : 0), b.second.type, b.second.bytes);
        }
        ApplySettingsDefaults();
        std::vector<std::pair<std::string, Value>> expected = {
            {"Proxy", {true, REG_SZ, ""}},
            {"Port", {true, REG_DWORD, Dword(0)}},
            {"SearchISRC", {true, REG_DWORD, Dword(0)}},
            {"MediaBar", {true, REG_DWORD, Dword(0)}},
            {"DDCDconvert", {true, REG_DWORD, Dword(0)}},
            {"DVDCompatible", {true, REG_DWORD, Dword(0)}},
            {"EnableEncode", {true, REG_DWORD, Dword(0)}},
            {"TempFolder", {true, REG_SZ, Sz(temp)}},
            {"CopyBadSector", {true, REG_DWORD, Dword(0)}},
        };
        for (auto& e : expected)
            for (const auto& a : c.after)
                if (a.first == e.first) e.second = a.second;
        for (const auto& e : expected) {
            Value v = Read(HKEY_CURRENT_USER, kSettingsKey, e.first.c_str());
            EXPECT_TRUE(v.present) << e.first;
            EXPECT_EQ(v.type, e.second.type) << e.first;
            EXPECT_EQ(v.bytes, e.second.bytes) << e.first;
        }
        Value outside = Read(HKEY_CURRENT_USER, "Software", "DVDCompatible");
        if (outside.present) {
            EXPECT_EQ(outside.bytes, Dword(1));
        }
        HKEY software = nullptr;
        if (platform::RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_ALL_ACCESS, &software) == ERROR_SUCCESS) {
            platform::RegDeleteValueA(software, "DVDCompatible");
            platform::RegCloseKey(software);
        }
    }
}

class Relocation : public PostInstall {
protected:
    void SetUp() override {
        PostInstall::SetUp();
        PrepareDocumentsFolder();
        char documents[MAX_PATH] = "";
        ASSERT_EQ(GetDocumentsFolder(documents, sizeof documents), 1);
        ASSERT_STRNE(documents, "");
        data_ = std::string(documents) + "\\VkTARN Data";
        Clean();
        install_ = Path("install");
        ASSERT_TRUE(platform::CreateDirectoryA(install_.c_str(), nullptr));
    }
    void TearDown() override {
        Clean();
        PostInstall::TearDown();
    }
    // Removes the data folder the tests make in the user's documents folder.
    void Clean() {
        WIN32_FIND_DATAA found;
        HANDLE search = platform::FindFirstFileA((data_ + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::string path = data_ + "\\" + found.cFileName;
                if (!platform::DeleteFileA(path.c_str())) platform::RemoveDirectoryA(path.c_str());
            } while (platform::FindNextFileA(search, &found));
            platform::FindClose(search);
        }
        platform::RemoveDirectoryA(data_.c_str());
    }
    std::string Content(const std::string& path) {
        std::string saved = folder_;
        size_t slash = path.rfind('\\');
        folder_ = path.substr(0, slash);
        std::string all = ReadAll(path.substr(slash + 1));
        folder_ = saved;
        return all;
    }
    std::string data_, install_;
};

TEST_F(Relocation, MovesTheDataFilesWithoutLosingOne) {
    struct Case {
        const char* what;
        std::vector<const char*> inInstall;   // files made in the install folder
        std::vector<const char*> inData;      // files already in the data folder ("old" content)
        std::vector<const char*> moved;       // in the data folder afterwards, gone from install
        std::vector<const char*> kept;        // still in the install folder afterwards
    } cases[] = {
        {"all four", {"VKCDDB.DB", "CHG.LOG", "a.LST", "b.lst"}, {}, {"VKCDDB.DB", "CHG.LOG", "a.LST", "b.lst"}, {}},
        {"database already there", {"VKCDDB.DB", "CHG.LOG"}, {"VKCDDB.DB"}, {"CHG.LOG"}, {"VKCDDB.DB"}},
        {"no database, no list", {"CHG.LOG", "list.txt"}, {}, {"CHG.LOG"}, {"list.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Clean();
        for (const char* name : c.inInstall) MakeFile(std::string("install\\") + name, std::string("new ") + name);
        if (!c.inData.empty()) {
            ASSERT_TRUE(platform::CreateDirectoryA(data_.c_str(), nullptr));
            for (const char* name : c.inData) {
                HANDLE h = platform::CreateFileA((data_ + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
                DWORD written = 0;
                platform::WriteFile(h, "old", 3, &written, nullptr);
                platform::CloseHandle(h);
            }
        }
        RelocateDataFiles(install_.c_str());
        EXPECT_NE(platform::GetFileAttributesA(data_.c_str()), INVALID_FILE_ATTRIBUTES);
        for (const char* name : c.moved) {
            EXPECT_EQ(Content(data_ + "\\" + name), std::string("new ") + name) << name;
            EXPECT_EQ(platform::GetFileAttributesA((install_ + "\\" + name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
        }
        for (const char* name : c.kept)
            EXPECT_EQ(ReadAll(std::string("install\\") + name), std::string("new ") + name) << name;
        for (const char* name : c.inData) EXPECT_EQ(Content(data_ + "\\" + name), "old") << name;
        for (const char* name : c.inInstall) platform::DeleteFileA((install_ + "\\" + name).c_str());
    }
}

TEST_F(Relocation, AFolderNamedLikeAListStaysWhereItIs) {
    ASSERT_TRUE(platform::CreateDirectoryA((install_ + "\\a.LST").c_str(), nullptr));
    MakeFile("install\\a.LST\\inside.txt", "x");
    RelocateDataFiles(install_.c_str());
    EXPECT_EQ(ReadAll("install\\a.LST\\inside.txt"), "x");
    EXPECT_EQ(platform::GetFileAttributesA((data_ + "\\a.LST").c_str()), INVALID_FILE_ATTRIBUTES);
    platform::DeleteFileA((install_ + "\\a.LST\\inside.txt").c_str());
    platform::RemoveDirectoryA((install_ + "\\a.LST").c_str());
}

class Shortcut : public PostInstall {
protected:
    void SetUp() override {
        PostInstall::SetUp();
        saved_ = Read(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs");
        programs_ = Path("Programs");
        ASSERT_TRUE(platform::CreateDirectoryA(programs_.c_str(), nullptr));
        ASSERT_TRUE(platform::CreateDirectoryA((programs_ + "\\Velkor TARN").c_str(), nullptr));
        Write(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs", REG_SZ, Sz(programs_));
        install_ = Path("Velkor");
        ASSERT_TRUE(platform::CreateDirectoryA(install_.c_str(), nullptr));
        MakeFile("Velkor\\VKTARN.EXE", "MZ");
        link_ = programs_ + "\\Velkor TARN\\Velkor TARN.lnk";
    }
    void TearDown() override {
        if (saved_.present) Write(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs", saved_.type, saved_.bytes);
        platform::DeleteFileA(link_.c_str());
        platform::RemoveDirectoryA((programs_ + "\\Velkor TARN").c_str());
        platform::DeleteFileA((install_ + "\\VKTARN.EXE").c_str());
        PostInstall::TearDown();
    }
    void Version(DWORD major, DWORD minor) {
        OsVersionSnapshot.dwMajorVersion = major;
        OsVersionSnapshot.dwMinorVersion = minor;
    }
    Value saved_;
    std::string programs_, install_, link_;
};

TEST_F(Shortcut, WrittenFromVersion51OnWithTheFourProperties) {
    struct {
        DWORD major, minor;
        bool written;
    } cases[] = {{5, 1, true}, {5, 2, true}, {6, 1, true}, {5, 0, false}, {6, 0, false}, {4, 0, false}, {4, 10, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor));
        platform::DeleteFileA(link_.c_str());
        Version(c.major, c.minor);
        RefreshProgramShortcut(install_.c_str());
        ShortcutInfo info = ReadShortcut(link_);
        ASSERT_EQ(info.read, c.written);
        if (!c.written) continue;
        EXPECT_EQ(info.target, install_ + "\\VKTARN.EXE");
        EXPECT_EQ(info.workingDirectory, install_);
        EXPECT_EQ(info.arguments, "");
        EXPECT_EQ(info.showCommand, 10);
    }
}

TEST_F(Shortcut, ReplacesAnOldShortcutWithNothingOfIt) {
    Version(5, 1);
    // An earlier shortcut with a description and an icon, made by the same shell.
    platform::CoInitialize(nullptr);
    IShellLinkA* old = nullptr;
    ASSERT_TRUE(SUCCEEDED(platform::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                                     IID_IShellLinkA, reinterpret_cast<void**>(&old))));
    old->SetPath((install_ + "\\VKTARN.EXE").c_str());
    old->SetArguments("-old");
    old->SetDescription("old description");
    old->SetIconLocation((install_ + "\\VKTARN.EXE").c_str(), 2);
    IPersistFile* file = nullptr;
    ASSERT_TRUE(SUCCEEDED(old->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
    WCHAR wide[MAX_PATH];
    platform::MultiByteToWideChar(CP_ACP, 0, link_.c_str(), -1, wide, MAX_PATH);
    EXPECT_TRUE(SUCCEEDED(file->Save(wide, TRUE)));
    file->Release();
    old->Release();
    platform::CoUninitialize();
    ShortcutInfo before = ReadShortcut(link_);
    ASSERT_TRUE(before.read);
    ASSERT_EQ(before.description, "old description");
    ASSERT_EQ(before.iconPath, install_ + "\\VKTARN.EXE");
    RefreshProgramShortcut(install_.c_str());
    ShortcutInfo info = ReadShortcut(link_);
    ASSERT_TRUE(info.read);
    EXPECT_EQ(info.target, install_ + "\\VKTARN.EXE");
    EXPECT_EQ(info.arguments, "");
    EXPECT_EQ(info.description, "");
    EXPECT_EQ(info.iconPath, "");
}

TEST_F(Shortcut, MissingProductFolderCreatesNothing) {
    Version(5, 1);
    ASSERT_TRUE(platform::RemoveDirectoryA((programs_ + "\\Velkor TARN").c_str()));
    RefreshProgramShortcut(install_.c_str());
    EXPECT_EQ(platform::GetFileAttributesA((programs_ + "\\Velkor TARN").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
