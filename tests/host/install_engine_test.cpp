// The installation engine on emulated machines of each Windows family: what it installs, what
// the bar and the message boxes show, and what a failing row leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "payload/install_engine.h"
#include "payload/payload_table.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "emulator/dialogs/host_dialog.h"
#include "emulator/machine/host.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "process/process_state.h"
#include "support/payload_bytes.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using vktest::TempMachine;

const char kFolder[] = "C:\\Program Files\\Orvane\\Velkor TARN";
const char kSystem[] = "C:\\WINDOWS\\system32";
const char kStaging[] = "C:\\WINDOWS\\TEMP";
const char kPathFolderJson[] = "C:\\\\Program Files\\\\Orvane\\\\Velkor TARN\\\\";
const char kCaptionJson[] = "\"caption\":\"TARN アップデーター\"";
const char kIoErrorEvent[] =
    "{\"event\":\"message\",\"style\":16,\"caption\":\"TARN アップデーター\",\"text\":\"予期せぬI/Oエラーが発生しました。"
    "\\nハードディスク容量や起動しているソフトがないことをご確認下さい。\"}";

struct Family {
    const char* name;
    const char* ini;
    std::vector<int> rows;  // the family route's rows
};

const Family kFamilies[] = {
    {"95", "[windows]\nplatform = 1\nmajor = 4\nminor = 0\n", {35, 36, 37, 34}},
    {"98", "[windows]\nplatform = 1\nmajor = 4\nminor = 10\n", {35, 36, 37, 34}},
    {"Me", "[windows]\nplatform = 1\nmajor = 4\nminor = 90\n", {35, 36, 37, 34}},
    {"NT 4.0", "[windows]\nplatform = 2\nmajor = 4\nminor = 0\n", {38, 39}},
    {"2000", "[windows]\nplatform = 2\nmajor = 5\nminor = 0\n", {40}},
    {"XP", "[windows]\nplatform = 2\nmajor = 5\nminor = 1\n", {40}},
};

// The positions the engine gave the bar, in order.
std::vector<int> progressShown;
void RecordProgress(HWND, int position) { progressShown.push_back(position); }

class InstallEngine : public ::testing::Test {
protected:
    void Open(const std::string& ini) {
        Close();
        machine_ = std::make_unique<TempMachine>(ini);
        InitProcessState(platform::host::ModuleHandle());
        out_.str("");
        progressShown.clear();
        platform::host::SetDialogIo(&in_, &out_, false);
        // The keys every Windows has, below which the post-install steps write (where this user
        // may make them).
        for (auto [root, path] : {std::pair{HKEY_CURRENT_USER, "Software"},
                                  std::pair{HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services"}}) {
            HKEY key = nullptr;
            if (platform::RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS)
                platform::RegCloseKey(key);
        }
        // An installed product: an old copy of every file of every route.
        for (const char* sub : {"Drivers", "IOSUBSYS"}) fs::create_directories(Host(System(sub)));
        fs::create_directories(Host(kFolder));
        for (int row = 0; row < PAYLOAD_ROW_COUNT; ++row) TempMachine::WriteHostFile(Host(Target(row)), Old(row));
    }
    void Close() { machine_.reset(); }
    void TearDown() override {
        Close();
        platform::host::SetDialogIo(&std::cin, &std::cout, false);
    }

    static std::string System(const std::string& name) { return std::string(kSystem) + "\\" + name; }
    static bool InSystemFolder(int row) { return row == 34 || row >= 38; }
    static std::string Target(int row) {
        std::string name = PayloadTable[row].targetPath;
        return InSystemFolder(row) ? System(name) : std::string(kFolder) + "\\" + name;
    }
    static std::string Old(int row) { return "old " + std::to_string(row); }
    std::string Host(const std::string& windowsPath) const { return machine_->host(windowsPath); }
    std::string Read(const std::string& windowsPath) const {
        return fs::exists(Host(windowsPath)) ? TempMachine::ReadHostFile(Host(windowsPath)) : "<missing>";
    }
    // The names in a folder, in order.
    std::vector<std::string> Names(const std::string& windowsFolder) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(Host(windowsFolder))) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // The positions the bar was moved to, in order.
    static std::vector<int> Progress() { return progressShown; }
    std::vector<std::string> Messages() const {
        std::vector<std::string> lines;
        std::istringstream all(out_.str());
        for (std::string line; std::getline(all, line);)
            if (line.find("\"event\":\"message\"") != std::string::npos) lines.push_back(line);
        return lines;
    }
    static bool KeyExists(HKEY root, const char* path) {
        HKEY key = nullptr;
        if (platform::RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        platform::RegCloseKey(key);
        return true;
    }
    static bool PostInstallRan() { return KeyExists(HKEY_CURRENT_USER, "Software\\Orvane\\VkTARN"); }
    static std::string PathMessage(const char* name) {
        return std::string("{\"event\":\"message\",\"style\":16,") + kCaptionJson + ",\"text\":\"" + kPathFolderJson +
               name + "\"}";
    }
    // Rows 0 to `count` - 1 hold the new files, the rest of the install folder the old ones.
    void ExpectCommonRowsInstalled(int count) {
        for (int row = 0; row < 34; ++row) {
            if (row < count) EXPECT_TRUE(Read(Target(row)) == vktest::ExpandedPayload(PayloadTable[row].payloadIndex)) << row;
            else EXPECT_EQ(Read(Target(row)), Old(row)) << row;
        }
    }

    // Every file of the machine (its drive, its registry, the files' attributes) with its bytes.
    std::map<std::string, std::string> Snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(machine_->dir()))
            if (e.is_regular_file() && (e.path().filename() == "registry.reg" || e.path().filename() == "attributes.txt" ||
                                        e.path().string().find("/drive_c/") != std::string::npos))
                files[e.path().string()] = TempMachine::ReadHostFile(e.path().string());
        return files;
    }
    // Writes the file where the machine lets it (not past the path limit).
    static void PutFile(const std::string& path, const std::string& bytes) {
        HANDLE file = platform::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        DWORD written = 0;
        platform::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        platform::CloseHandle(file);
    }
    static std::string JsonEscaped(const std::string& text) {
        std::string out;
        for (char c : text) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
        return out;
    }

    std::unique_ptr<TempMachine> machine_;
    std::istringstream in_;
    std::ostringstream out_;
    const InstallDialog dialog_ = {nullptr, RecordProgress};
};

// The pending list as pairs "from -> to" ("" for a delete), names as recorded.
std::vector<std::string> PendingPairs() {
    HKEY key = nullptr;
    std::vector<std::string> pairs;
    if (platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                                KEY_READ, &key) != ERROR_SUCCESS)
        return pairs;
    char data[4096];
    DWORD type = 0, size = sizeof data;
    LONG r = platform::RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &size);
    platform::RegCloseKey(key);
    if (r != ERROR_SUCCESS) return pairs;
    std::vector<std::string> strings;
    for (size_t at = 0; at < size;) {
        std::string s(data + at);
        at += s.size() + 1;
        strings.push_back(s);
    }
    for (size_t i = 0; i + 1 < strings.size() && !strings[i].empty(); i += 2)
        pairs.push_back(strings[i] + " -> " + strings[i + 1]);
    return pairs;
}

TEST_F(InstallEngine, EveryFamilyInstallsEveryRowOfItsRoutes) {
    for (const Family& family : kFamilies) {
        SCOPED_TRACE(family.name);
        Open(family.ini);
        ASSERT_EQ(InstallPayloadFiles(dialog_, kFolder), 1);

        ExpectCommonRowsInstalled(34);
        bool atRestart = family.rows[0] == 40;
        for (int row : family.rows) {
            std::string expanded = vktest::ExpandedPayload(PayloadTable[row].payloadIndex);
            if (!atRestart) EXPECT_TRUE(Read(Target(row)) == expanded) << row;
            else EXPECT_EQ(Read(Target(row)), Old(row)) << "replaced only at the restart";
        }
        // The bar: after every row of the common route, at 100 k / 34 whole, and nowhere else.
        std::vector<int> expected;
        for (int k = 1; k <= 34; ++k) expected.push_back(100 * k / 34);
        EXPECT_EQ(Progress(), expected);
        EXPECT_TRUE(Messages().empty());
        EXPECT_TRUE(PostInstallRan());

        for (const std::string& name : Names(kFolder)) EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
        if (!atRestart) {
            EXPECT_TRUE(Names(kStaging).empty());
            EXPECT_TRUE(PendingPairs().empty());
            EXPECT_EQ(Names(kSystem), (std::vector<std::string>{"Drivers", "IOSUBSYS"}));
            continue;
        }
        std::string driver = vktest::ExpandedPayload(38);
        EXPECT_EQ(Names(kStaging), std::vector<std::string>{"vk038.tmp"});
        EXPECT_TRUE(Read(System("vk038.tmp")) == driver);
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\cdrvkvsd"));
        const std::string target = "\\??\\C:\\WINDOWS\\system32\\Drivers\\CDRVKVSD.SYS";
        const std::string temp = "\\??\\C:\\WINDOWS\\system32\\vk038.tmp";
        // One operation: the new driver renamed over the old one.
        EXPECT_EQ(PendingPairs(), (std::vector<std::string>{temp + " -> !" + target}));

        std::string report, error;
        platform::host::RestartMachine(&report, &error);
        EXPECT_TRUE(Read(Target(40)) == driver) << report << error;
        EXPECT_EQ(Read(System("vk038.tmp")), "<missing>");
        EXPECT_TRUE(PendingPairs().empty());
    }
}

TEST_F(InstallEngine, FailureAtRowZeroNamesTheFileAndKeepsTheBar) {
    Open("");
    platform::host::FailCall("VerInstallFileA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(InstallPayloadFiles(dialog_, kFolder), 0);
    EXPECT_EQ(Messages(), (std::vector<std::string>{PathMessage("MOD01.DLL"), kIoErrorEvent}));
    EXPECT_TRUE(Progress().empty());
    EXPECT_EQ(Names(kStaging), std::vector<std::string>{"vk001.tmp"});
    ExpectCommonRowsInstalled(0);
    EXPECT_FALSE(PostInstallRan());
}

TEST_F(InstallEngine, FailureAtRowTwentyLeavesTheRowsBeforeIt) {
    Open("");
    platform::host::FailCall("VerInstallFileA", 21, ERROR_ACCESS_DENIED);
    EXPECT_EQ(InstallPayloadFiles(dialog_, kFolder), 0);
    EXPECT_EQ(Messages(), (std::vector<std::string>{PathMessage("MOD21.DLL"), kIoErrorEvent}));
    ASSERT_EQ(Progress().size(), 20u);
    EXPECT_EQ(Progress().back(), 58);
    EXPECT_EQ(Names(kStaging), std::vector<std::string>{"vk021.tmp"});
    ExpectCommonRowsInstalled(20);
    EXPECT_FALSE(PostInstallRan());
}

TEST_F(InstallEngine, FamilyRouteFailureShowsTheIoErrorAlone) {
    // 9x: the first row of its route (row 35, the 35th installation); XP: the first
    // registration of the delayed replacement.
    const struct {
        const char* ini;
        const char* call;
        int occurrence;
        const char* staged;
        int row;
    } cases[] = {
        {"[windows]\nplatform = 1\nmajor = 4\nminor = 10\n", "VerInstallFileA", 35, "vk033.tmp", 35},
        {"[windows]\nplatform = 2\nmajor = 5\nminor = 1\n", "MoveFileExA", 35, "vk038.tmp", 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        Open(c.ini);
        platform::host::FailCall(c.call, c.occurrence, ERROR_ACCESS_DENIED);
        EXPECT_EQ(InstallPayloadFiles(dialog_, kFolder), 0);
        EXPECT_EQ(Messages(), std::vector<std::string>{kIoErrorEvent});
        ASSERT_EQ(Progress().size(), 34u);
        EXPECT_EQ(Progress().back(), 100);
        EXPECT_EQ(Names(kStaging), std::vector<std::string>{c.staged});
        EXPECT_EQ(Read(Target(c.row)), Old(c.row));
        EXPECT_EQ(Names(kSystem), (std::vector<std::string>{"Drivers", "IOSUBSYS"})) << "no new file left about";
        EXPECT_TRUE(PendingPairs().empty());
        EXPECT_FALSE(PostInstallRan());
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\cdrvkvsd"));
    }
}

TEST_F(InstallEngine, ReadOnlyHiddenAndSystemFilesAreReplacedOnEveryFamily) {
    // Files copied from a CD are read-only; temp files an earlier run left may be anything.
    const DWORD kProtected = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    for (const Family& family : kFamilies) {
        if (family.name == std::string("95") || family.name == std::string("Me")) continue;  // as 98
        SCOPED_TRACE(family.name);
        Open(family.ini);
        for (int row = 0; row < PAYLOAD_ROW_COUNT; ++row) {
            ASSERT_TRUE(platform::SetFileAttributesA(Target(row).c_str(), kProtected)) << row;
            std::string folder = InSystemFolder(row) ? kSystem : kFolder;
            for (const std::string& stale : {folder + "\\" + PayloadTable[row].tempName,
                                             std::string(kStaging) + "\\" + PayloadTable[row].tempName}) {
                TempMachine::WriteHostFile(Host(stale), "stale");
                ASSERT_TRUE(platform::SetFileAttributesA(stale.c_str(), kProtected)) << stale;
            }
        }
        ASSERT_EQ(InstallPayloadFiles(dialog_, kFolder), 1);
        EXPECT_TRUE(Messages().empty());
        bool atRestart = family.rows[0] == 40;
        std::vector<int> rows(34);
        for (int row = 0; row < 34; ++row) rows[row] = row;
        if (!atRestart) rows.insert(rows.end(), family.rows.begin(), family.rows.end());
        for (int row : rows) {
            EXPECT_TRUE(Read(Target(row)) == vktest::ExpandedPayload(PayloadTable[row].payloadIndex)) << row;
            EXPECT_EQ(platform::GetFileAttributesA(Target(row).c_str()) & kProtected, 0u) << row;
        }
        if (atRestart) {
            // Scheduled over the read-only driver, which keeps its place until the restart.
            EXPECT_EQ(Read(Target(40)), Old(40));
            std::string report, error;
            platform::host::RestartMachine(&report, &error);
            EXPECT_TRUE(Read(Target(40)) == vktest::ExpandedPayload(38)) << report << error;
        }
    }
}

TEST_F(InstallEngine, ATargetThatCannotBeWrittenRefusesTheRunBeforeAnyChange) {
    // The longest path of the common route, so that a folder can be made to miss the limit by one.
    size_t longest = 0;
    for (int row = 0; row < 34; ++row)
        longest = std::max({longest, std::strlen(PayloadTable[row].targetPath), std::strlen(PayloadTable[row].tempName)});
    const std::string atLimit = "C:\\" + std::string(MAX_PATH - 1 - 4 - longest, 'd');  // joined: 259 characters
    const std::string pastLimit = atLimit + "d";
    // 100 double-byte characters ("ソ", 0x83 0x5C: a second byte that is a backslash): 200
    // bytes, counted by Windows as 100.
    std::string wide = "C:\\";
    for (int i = 0; i < 100; ++i) wide += "\x83\x5c";
    const char* const kSessionManager = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    const struct {
        const char* name;
        std::string ini;
        std::string folder;       // the install folder
        std::function<void(TempMachine*)> make;  // the machine's state
        std::string failing;      // the file named first, "" for success
    } cases[] = {
        {"a folder at the path limit", "", atLimit, nullptr, ""},
        {"double-byte folder names", "", wide, nullptr, ""},
        {"a folder one character past the limit", "", pastLimit, nullptr, "longest"},
        {"a folder in a target's place", "", kFolder,
         [](TempMachine* t) {
             fs::remove(t->host(Target(29)));
             fs::create_directories(t->host(Target(29)));
         },
         Target(29)},
        {"a folder in a temp name's place, named", "", kFolder,
         [](TempMachine* t) { fs::create_directories(t->host(std::string(kFolder) + "\\" + PayloadTable[20].tempName)); },
         std::string(kFolder) + "\\" + PayloadTable[20].tempName},
        {"no IOSUBSYS folder on 98", "[windows]\nplatform = 1\nmajor = 4\nminor = 10\n", kFolder,
         [](TempMachine* t) { fs::remove_all(t->host(System("IOSUBSYS"))); }, Target(34)},
        {"no Drivers folder on NT 4.0", "[windows]\nplatform = 2\nmajor = 4\nminor = 0\n", kFolder,
         [](TempMachine* t) { fs::remove_all(t->host(System("Drivers"))); }, Target(38)},
        // Longer than MAX_PATH, as no Windows makes it, but the message still names the file in
        // full: the folder's buffer holds it.
        {"a system folder of 519 characters", "[folders]\nsystem = C:\\" + std::string(516, 's') + "\n", kFolder,
         nullptr, "C:\\" + std::string(516, 's') + "\\Drivers\\CDRVKVSD.SYS"},
        // A read-only leftover under a temp name would lose its attribute to the first row.
        {"no staging folder", "", kFolder,
         [](TempMachine* t) {
             fs::remove_all(t->host(kStaging));
             std::string leftover = std::string(kFolder) + "\\vk001.tmp";
             TempMachine::WriteHostFile(t->host(leftover), "an earlier run's");
             platform::SetFileAttributesA(leftover.c_str(), FILE_ATTRIBUTE_READONLY);
         },
         Target(0)},
        // The run first opens the Session Manager key to read the operations pending; the next
        // key is the Services key, opened for writing by the check.
        {"a Services key this user may not write, on XP", "", kFolder,
         [](TempMachine*) { platform::host::FailCall("RegOpenKeyExA", 2, ERROR_ACCESS_DENIED); }, Target(40)},
        {"a pending list of another type on XP", "", kFolder,
         [kSessionManager](TempMachine*) {
             HKEY key = nullptr;
             ASSERT_EQ(platform::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr),
                       ERROR_SUCCESS);
             const char text[] = "\\??\\C:\\other.tmp";
             platform::RegSetValueExA(key, "PendingFileRenameOperations", 0, REG_SZ,
                                      reinterpret_cast<const BYTE*>(text), sizeof text);
             platform::RegCloseKey(key);
         },
         Target(40)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Open(c.ini);
        if (c.folder != kFolder) {
            // Through the machine's own calls: the name is in its code page.
            ASSERT_TRUE(platform::CreateDirectoryA(c.folder.c_str(), nullptr));
            for (int row = 0; row < 34; ++row) PutFile(c.folder + "\\" + PayloadTable[row].targetPath, Old(row));
        }
        if (c.make) c.make(machine_.get());
        std::map<std::string, std::string> before = Snapshot();
        int result = InstallPayloadFiles(dialog_, c.folder.c_str());
        std::vector<std::string> messages = Messages();
        if (c.failing.empty()) {
            EXPECT_EQ(result, 1);
            EXPECT_TRUE(messages.empty());
            for (int row = 0; row < 34; ++row) {
                WIN32_FIND_DATAA found;
                HANDLE search = platform::FindFirstFileA((c.folder + "\\" + PayloadTable[row].targetPath).c_str(), &found);
                ASSERT_NE(search, INVALID_HANDLE_VALUE) << row;
                platform::FindClose(search);
                EXPECT_EQ(found.nFileSizeLow, vktest::ExpandedPayload(PayloadTable[row].payloadIndex).size()) << row;
            }
            continue;
        }
        EXPECT_EQ(result, 0);
        ASSERT_EQ(messages.size(), 2u);
        if (c.failing == "longest") EXPECT_NE(messages[0].find(pastLimit.substr(3)), std::string::npos) << messages[0];
        else EXPECT_NE(messages[0].find(JsonEscaped(c.failing)), std::string::npos) << messages[0];
        EXPECT_EQ(messages[1], kIoErrorEvent);
        EXPECT_TRUE(Progress().empty());
        EXPECT_EQ(Snapshot(), before) << "nothing written";
        EXPECT_FALSE(PostInstallRan());
    }
}

TEST_F(InstallEngine, AFailedReplacementLosesNeitherFile) {
    // The NT family renames the new file over the old one in one step: the old file stays.
    Open("");
    platform::host::FailCall("MoveFileExA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(InstallPayloadFiles(dialog_, kFolder), 0);
    EXPECT_EQ(Messages(), (std::vector<std::string>{PathMessage("MOD01.DLL"), kIoErrorEvent}));
    EXPECT_EQ(Read(Target(0)), Old(0));
    EXPECT_EQ(Read(std::string(kFolder) + "\\vk001.tmp"), "<missing>");
    // 95/98/Me delete the old file, then rename: a rename failing after the delete keeps the
    // new file under its temp name.
    Open("[windows]\nplatform = 1\nmajor = 4\nminor = 10\n");
    platform::host::FailCall("MoveFileA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(InstallPayloadFiles(dialog_, kFolder), 0);
    EXPECT_EQ(Messages(), (std::vector<std::string>{PathMessage("MOD01.DLL"), kIoErrorEvent}));
    EXPECT_EQ(Read(Target(0)), "<missing>");
    EXPECT_TRUE(Read(std::string(kFolder) + "\\vk001.tmp") == vktest::ExpandedPayload(1));
}

TEST_F(InstallEngine, IncompleteFileIsNeverPutInPlace) {
    // The service claims success without writing: a shorter file an earlier run left under
    // the temp name must not replace the old one.
    Open("");
    std::string leftover = std::string(kFolder) + "\\vk001.tmp";
    TempMachine::WriteHostFile(Host(leftover), "cut off");
    platform::host::FailCall("VerInstallFileA", 1, ERROR_SUCCESS);
    EXPECT_EQ(InstallPayloadFiles(dialog_, kFolder), 0);
    EXPECT_EQ(Messages(), (std::vector<std::string>{PathMessage("MOD01.DLL"), kIoErrorEvent}));
    EXPECT_EQ(Read(Target(0)), Old(0));
    EXPECT_EQ(Read(leftover), "<missing>");
}

TEST_F(InstallEngine, FolderTooLongForThePathsFailsCleanly) {
    // Too long to join with a file name in 270 characters: the message still names the file.
    Open("");
    std::string folder = "C:\\" + std::string(262, 'f');
    EXPECT_EQ(InstallPayloadFiles(dialog_, folder.c_str()), 0);
    std::vector<std::string> messages = Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0].find(std::string(262, 'f') + "\\\\MOD01.DLL\"}"), std::string::npos);
    EXPECT_TRUE(Names(kStaging).empty()) << "nothing extracted";
}

// Another program holding an old file, a running program, or a limited user: the run is refused
// before anything changes, names the file, and completes once the cause is gone.
TEST_F(InstallEngine, AFileInUseOrKeptFromTheUserRefusesTheRunUntilFreed) {
    const char* const kNt4 = "[windows]\nplatform = 2\nmajor = 4\nminor = 0\n";
    const char* const k2000 = "[windows]\nplatform = 2\nmajor = 5\nminor = 0\n";
    const struct {
        const char* name;
        std::string ini;
        std::function<DWORD()> hold;  // the cause, made on the open machine
        std::string failing;
    } cases[] = {
        {"the product's database open without sharing", "",
         [] { return platform::host::HoldFile(Target(20), true, true, false, 0, false); }, Target(20)},
        {"a virus scanner sharing everything", "",
         [] { return platform::host::HoldFile(Target(20), true, false, false, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               false); },
         Target(20)},
        {"the product left running", "", [] { return platform::host::HoldFile(Target(1), true, false, false, 0, true); },
         Target(1)},
        {"the product left running on 98", "[windows]\nplatform = 1\nmajor = 4\nminor = 10\n",
         [] { return platform::host::HoldFile(Target(1), true, false, false, 0, true); }, Target(1)},
        {"a library held on 98", "[windows]\nplatform = 1\nmajor = 4\nminor = 10\n",
         [] { return platform::host::HoldFile(Target(3), true, true, false, FILE_SHARE_READ | FILE_SHARE_WRITE, false); },
         Target(3)},
        {"a limited user on 2000, Program Files", std::string(k2000) + "admin = 0\n", nullptr, Target(0)},
        {"a limited user on NT 4.0, no old drivers", std::string(kNt4) + "admin = 0\n",
         [this] {
             for (int row : {38, 39}) fs::remove(Host(Target(row)));
             return static_cast<DWORD>(ERROR_SUCCESS);
         },
         Target(38)},
        {"a limited user on NT 4.0, the system folder", std::string(kNt4) + "admin = 0\n", nullptr, Target(38)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Open(c.ini);
        if (c.hold) {
            ASSERT_EQ(c.hold(), static_cast<DWORD>(ERROR_SUCCESS));
        }
        std::map<std::string, std::string> before = Snapshot();
        EXPECT_EQ(InstallPayloadFiles(dialog_, kFolder), 0);
        std::vector<std::string> messages = Messages();
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_NE(messages[0].find(JsonEscaped(c.failing) + "\""), std::string::npos) << messages[0];
        EXPECT_EQ(Snapshot(), before) << "nothing written";
        if (!c.hold || c.ini.find("admin = 0") != std::string::npos) continue;
        ASSERT_EQ(platform::host::ReleaseHeldFiles("", false), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(InstallPayloadFiles(dialog_, kFolder), 1) << "the next run completes";
        ExpectCommonRowsInstalled(34);
    }
}

// A failed immediate replacement leaves the old file as it was, its read-only attribute too:
// on the NT family the one rename over it fails, on 95/98/Me the delete before the rename.
TEST_F(InstallEngine, AFailedReplacementGivesTheReadOnlyAttributeBack) {
    const struct {
        const char* family;
        const char* ini;
        std::function<void()> fail;  // makes row 0's replacement fail
    } cases[] = {
        {"XP", "", [] { platform::host::FailCall("MoveFileExA", 1, ERROR_ACCESS_DENIED); }},
        // The check leaves a read-only file to its attribute on 95/98/Me: the delete meets the holder.
        {"98", "[windows]\nplatform = 1\nmajor = 4\nminor = 10\n",
         [] { platform::host::HoldFile(Target(0), true, false, false, FILE_SHARE_READ | FILE_SHARE_WRITE, false); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.family);
        Open(c.ini);
        ASSERT_TRUE(platform::SetFileAttributesA(Target(0).c_str(), FILE_ATTRIBUTE_READONLY));
        c.fail();
        EXPECT_EQ(InstallPayloadFiles(dialog_, kFolder), 0);
        EXPECT_EQ(Read(Target(0)), Old(0));
        EXPECT_EQ(platform::GetFileAttributesA(Target(0).c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
}

// A leftover under a row's temp name that a program holds cannot be replaced: the version
// service leaves the new file beside it under a name of its own and reports it, and the
// engine removes that file with the failed row.
TEST_F(InstallEngine, ATempFileTheServiceReportsIsRemoved) {
    // On 98, where the check leaves a read-only leftover to its attribute (the run clears it).
    Open("[windows]\nplatform = 1\nmajor = 4\nminor = 10\n");
    const std::string leftover = std::string(kFolder) + "\\vk001.tmp";
    TempMachine::WriteHostFile(Host(leftover), "an earlier run's");
    ASSERT_TRUE(platform::SetFileAttributesA(leftover.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(platform::host::HoldFile(leftover, true, false, false, FILE_SHARE_READ, false), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(InstallPayloadFiles(dialog_, kFolder), 0);
    EXPECT_EQ(Messages(), (std::vector<std::string>{PathMessage("MOD01.DLL"), kIoErrorEvent}));
    std::vector<std::string> names = Names(kFolder);
    EXPECT_EQ(std::count_if(names.begin(), names.end(), [](const std::string& n) { return n.rfind("VER", 0) == 0; }), 0);
    EXPECT_EQ(Read(Target(0)), Old(0));
}

}  // namespace
