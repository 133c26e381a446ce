// LocateInstallation with the folder picker, without administrator rights and with faults:
// the cases that need the emulated machine.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "discovery/browse_for_install_folder.h"
#include "discovery/locate_installation.h"
#include "platform/files.h"
#include "emulator/dialogs/host_dialog.h"
#include "emulator/machine/host.h"
#include "emulator/shell/host_shell.h"
#include "platform/registry.h"
#include "process/process_state.h"
#include "support/temp_machine.h"
#include "text/load_text.h"
#include "text/path_text.h"
#include "formats/pe_writer.h"

namespace {

namespace host = platform::host;

const char kKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\VKTARN.EXE";
const char kParentKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";

class Picker : public ::testing::Test {
protected:
    void Open(const std::string& ini) {
        machine_.reset();  // closes the machine before the next one opens
        machine_.reset(new vktest::TempMachine(ini));
        AppModule = host::ModuleHandle();
        HKEY k = nullptr;
        ASSERT_EQ(platform::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kParentKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                            &k, nullptr),
                  ERROR_SUCCESS);
        platform::RegCloseKey(k);
        Install("C:\\P\\Writer", "3, 1, 5, 0");
        Install("D:\\", "3, 1, 6, 0");
        ASSERT_TRUE(platform::CreateDirectoryA("C:\\P\\Writer\\Sub", nullptr));
        ASSERT_TRUE(platform::CreateDirectoryA("C:\\Other", nullptr));
    }
    void SetUp() override { Open(""); }
    void TearDown() override {
        host::SetDialogIo(&std::cin, &std::cout, false);
        host::ClearFaults();
        machine_.reset();
    }
    void Install(const std::string& folder, const std::string& version) {
        if (folder.size() > 3) {
            for (size_t i = 3; i <= folder.size(); ++i)
                if (i == folder.size() || folder[i] == '\\') platform::CreateDirectoryA(folder.substr(0, i).c_str(), nullptr);
        } else {
            std::filesystem::create_directories(machine_->dir() + "/drive_" + static_cast<char>(folder[0] - 'A' + 'a'));
        }
        pewriter::PeLayout layout;
        layout.fileVersion = version;
        layout.size = 4371968;
        std::string image, error;
        ASSERT_TRUE(pewriter::BuildPe(layout, &image, &error)) << error;
        std::string exe = folder + (folder.back() == '\\' ? "" : "\\") + "VKTARN.EXE";
        HANDLE h = platform::CreateFileA(exe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << exe;
        DWORD written = 0;
        platform::WriteFile(h, image.data(), static_cast<DWORD>(image.size()), &written, nullptr);
        platform::CloseHandle(h);
    }
    // Runs LocateInstallation with `script` as the user's answers.
    int Locate(const std::string& script) {
        in_.clear();
        in_.str(script);
        out_.str("");
        host::SetDialogIo(&in_, &out_, false);
        std::memset(folder_, 'x', sizeof folder_);
        current_ = 7;
        return LocateInstallation(nullptr, folder_, sizeof folder_, &current_, nullptr);
    }
    // The bytes stored under `name`. A text written with its length without the NUL is stored
    // with the NUL on this NT machine, as Windows NT stores it: see Stored().
    std::string Value(const std::string& name, DWORD* type = nullptr) {
        HKEY k = nullptr;
        if (platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &k) != ERROR_SUCCESS) return "<no key>";
        char data[600];
        DWORD t = 0, size = sizeof data;
        LONG r = platform::RegQueryValueExA(k, name.c_str(), nullptr, &t, reinterpret_cast<BYTE*>(data), &size);
        platform::RegCloseKey(k);
        if (type != nullptr) *type = t;
        return r == ERROR_SUCCESS ? std::string(data, size) : "<no value>";
    }
    static std::string Stored(const std::string& text) { return text + std::string(1, '\0'); }
    void SetPath(DWORD type, const std::string& data) {
        HKEY k = nullptr;
        ASSERT_EQ(platform::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                                            nullptr),
                  ERROR_SUCCESS);
        // Stores exactly `data`: the byte after it is no NUL, so NT adds none.
        std::string buffer = data + "x";
        platform::RegSetValueExA(k, "Path", 0, type, reinterpret_cast<const BYTE*>(buffer.data()),
                                 static_cast<DWORD>(data.size()));
        platform::RegCloseKey(k);
    }
    int PickerEvents() {
        int n = 0;
        for (size_t at = 0; (at = out_.str().find("\"event\":\"picker\"", at)) != std::string::npos; ++at) ++n;
        return n;
    }

    std::unique_ptr<vktest::TempMachine> machine_;
    std::istringstream in_;
    std::ostringstream out_;
    char folder_[270];
    uint32_t current_ = 0;
};

struct PickCase {
    std::string script;
    int result;
    std::string folder;  // the located folder
    std::string path;    // "Path" afterwards
};

TEST_F(Picker, PickedFolderIsIdentifiedAndRecorded) {
    const PickCase cases[] = {
        {"C:\\P\\Writer\n", 1, "C:\\P\\Writer", "C:\\P\\Writer"},
        {"c:/p/writer/sub\n", 1, "C:\\P\\Writer\\", "C:\\P\\Writer"},  // through the parent
        {"D:\\\n", 1, "D:", "D:"},                                       // a drive root
        {"C:\\Nowhere\nC:\\P\\Writer\n", 1, "C:\\P\\Writer", "C:\\P\\Writer"},  // refused, then picked
        {"C:\\Other\n", 0, "", "<no key>"},                              // no known build
        {"\n", 0, "", "<no key>"},                                       // cancel
        {"", 0, "", "<no key>"},                                         // end of input: cancel
    };
    for (const PickCase& c : cases) {
        SCOPED_TRACE(c.script);
        Open("");
        EXPECT_EQ(Locate(c.script), c.result);
        EXPECT_EQ(PickerEvents(), 1);
        if (c.result) {
            EXPECT_STREQ(folder_, c.folder.c_str());
        } else {
            EXPECT_EQ(current_, 0u);
        }
        DWORD type = 0;
        EXPECT_EQ(Value("Path", &type), c.result ? Stored(c.path) : c.path);
        if (c.result) {
            EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
            EXPECT_EQ(Value(""), Stored(c.path + "\\VKTARN.EXE"));
        }
        EXPECT_EQ(host::OpenShellItems(), 0);
    }
    // The picker's title is string 7, and the recorded entry spares the next run the picker.
    Open("");
    ASSERT_EQ(Locate("C:\\P\\Writer\n"), 1);
    EXPECT_NE(out_.str().find("\"title\":\"TARNのインストールされたフォルダを選択して下さい。\""), std::string::npos)
        << out_.str();
    EXPECT_EQ(Locate(""), 1);
    EXPECT_EQ(PickerEvents(), 0);
    EXPECT_STREQ(folder_, "C:\\P\\Writer");
}

TEST_F(Picker, RecordedFolderWithoutKnownBuildFallsBackToThePicker) {
    SetPath(REG_SZ, std::string("C:\\Other", 9));
    EXPECT_EQ(Locate("D:\\\n"), 1);
    EXPECT_EQ(PickerEvents(), 1);
    EXPECT_EQ(current_, 1u);
    EXPECT_EQ(Value("Path"), Stored("D:"));
    // An empty "Path" names no folder, whatever the current folder holds.
    Install("C:\\", "3, 1, 5, 0");
    SetPath(REG_SZ, std::string("", 1));
    EXPECT_EQ(Locate("\n"), 0);
    EXPECT_EQ(PickerEvents(), 1);
}

TEST_F(Picker, WithoutAdministratorRightsNothingIsRecorded) {
    vktest::TempMachine::WriteHostFile(machine_->dir() + "/machine.ini", "[windows]\nadmin = 0\n");
    machine_->Reopen();
    EXPECT_EQ(Locate("C:\\P\\Writer\n"), 1);
    EXPECT_STREQ(folder_, "C:\\P\\Writer");
    EXPECT_EQ(Value("Path"), "<no key>");
}

TEST_F(Picker, PathOfTheFullBufferWithoutNulIsTerminated) {
    // 260 bytes without NUL whose first 259 name a folder in C:\P\Writer: the text is cut to
    // 259 bytes and identified through its parent.
    std::string stored = "C:\\P\\Writer\\" + std::string(259 - 12, 'a') + "Q";
    ASSERT_EQ(stored.size(), 260u);
    SetPath(REG_SZ, stored);
    std::vector<char> folder(PATH_BUFFER_SIZE, 'x');  // exactly the buffer's size, for ASan
    uint32_t current = 7;
    host::SetDialogIo(&in_, &out_, false);
    EXPECT_EQ(LocateInstallation(nullptr, folder.data(), folder.size(), &current, nullptr), 1);
    EXPECT_STREQ(folder.data(), "C:\\P\\Writer\\");
    EXPECT_EQ(Value("Path"), Stored("C:\\P\\Writer"));
    // A longer value does not fit the read at all: the picker is asked.
    SetPath(REG_SZ, stored + "bb");
    EXPECT_EQ(Locate("\n"), 0);
    EXPECT_EQ(PickerEvents(), 1);
}

TEST_F(Picker, ItemWithoutPathIsNoFolderAndIsReleased) {
    host::FailCall("SHGetPathFromIDListA", 1, ERROR_INVALID_PARAMETER);
    char folder[PATH_BUFFER_SIZE];
    in_.str("C:\\P\\Writer\n");
    host::SetDialogIo(&in_, &out_, false);
    EXPECT_EQ(BrowseForInstallFolder(nullptr, 7, folder, sizeof folder), 0);
    EXPECT_STREQ(folder, "");  // not the display name "Writer"
    EXPECT_EQ(host::OpenShellItems(), 0);
}

}  // namespace
