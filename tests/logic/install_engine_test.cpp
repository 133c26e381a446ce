// The installation engine over the platform's own calls, for each Windows family's route: on
// Windows the real VerInstallFileA and the real list of operations pending until restart.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logic/logic_fixture.h"
#include "payload/install_engine.h"
#include "payload/payload_length.h"
#include "payload/payload_table.h"
#include "postinstall/get_documents_folder.h"
#include "process/process_state.h"

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

class InstallRoutes : public Logic {
protected:
    void SetUp() override {
        Logic::SetUp();
        char buffer[516] = {};
        ASSERT_GT(platform::GetTempPathA(270, buffer), 0u);
        staging_ = buffer;
        ASSERT_GT(platform::GetSystemDirectoryA(buffer, sizeof buffer), 0u);
        system_ = buffer;
        for (const char* sub : {"Drivers", "IOSUBSYS"})
            if (platform::CreateDirectoryA(System(sub).c_str(), nullptr)) made_.push_back(System(sub));
        pendingBefore_ = ReadPending(&hadPending_);
        // The run makes the data folder in the user's own documents folder (under Wine, the
        // prefix's): removed again unless it was there before.
        char documents[MAX_PATH] = "";
        if (GetDocumentsFolder(documents, sizeof documents) && documents[0] != '\0') {
            dataFolder_ = std::string(documents) + "\\VkTARN Data";
            hadDataFolder_ = platform::GetFileAttributesA(dataFolder_.c_str()) != INVALID_FILE_ATTRIBUTES;
        }
    }
    void TearDown() override {
        for (const char* name : {"Drivers\\MOD39.SYS", "Drivers\\CDRVKVSD.SYS", "IOSUBSYS\\CDRVKVSD.VXD", "vk038.tmp"})
            platform::DeleteFileA(System(name).c_str());
        platform::DeleteFileA((staging_ + "vk038.tmp").c_str());
        for (const std::string& folder : made_) platform::RemoveDirectoryA(folder.c_str());
        if (!dataFolder_.empty() && !hadDataFolder_) platform::RemoveDirectoryA(dataFolder_.c_str());
        HKEY key = nullptr;
        if (platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            if (hadPending_)
                platform::RegSetValueExA(key, kPending, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(pendingBefore_.data()),
                                         static_cast<DWORD>(pendingBefore_.size()));
            else
                platform::RegDeleteValueA(key, kPending);
            platform::RegCloseKey(key);
        }
        Logic::TearDown();
    }

    std::string System(const std::string& name) const { return system_ + "\\" + name; }
    static std::string ReadPending(bool* present) {
        *present = false;
        HKEY key = nullptr;
        if (platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS) return "";
        std::vector<char> data(65536);
        DWORD type = 0, size = static_cast<DWORD>(data.size());
        LONG r = platform::RegQueryValueExA(key, kPending, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        platform::RegCloseKey(key);
        if (r != ERROR_SUCCESS) return "";
        *present = true;
        return std::string(data.data(), size);
    }
    // Size of a file, or -1 when there is none.
    static long long SizeOf(const std::string& path) {
        WIN32_FIND_DATAA found;
        HANDLE search = platform::FindFirstFileA(path.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return -1;
        platform::FindClose(search);
        return static_cast<long long>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
    }
    // The row's file at `path` is the installed form: the payload's expanded length, no SZDD header.
    void ExpectInstalled(int row, const std::string& path) {
        uint32_t length = 0;
        ASSERT_EQ(InstalledPayloadLength(PayloadTable[row].payloadIndex, &length), 1);
        EXPECT_EQ(SizeOf(path), static_cast<long long>(length)) << path;
        HANDLE file = platform::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
        char head[4] = {};
        DWORD got = 0;
        platform::ReadFile(file, head, sizeof head, &got, nullptr);
        platform::CloseHandle(file);
        EXPECT_NE(std::string(head, got), "SZDD") << path;
    }
    void Run(DWORD platformId, DWORD major, DWORD minor) {
        OsVersionSnapshot.dwPlatformId = platformId;
        OsVersionSnapshot.dwMajorVersion = major;
        OsVersionSnapshot.dwMinorVersion = minor;
        MakeFile(PayloadTable[0].targetPath, "the old module");
        ASSERT_EQ(InstallPayloadFiles({nullptr, nullptr}, folder_.c_str()), 1);
        for (int row = 0; row < 34; ++row) ExpectInstalled(row, Path(PayloadTable[row].targetPath));
        WIN32_FIND_DATAA found;
        HANDLE search = platform::FindFirstFileA(Path("vk*.tmp").c_str(), &found);
        EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "a temp file left: " << found.cFileName;
        if (search != INVALID_HANDLE_VALUE) platform::FindClose(search);
        for (int row = 0; row < 40; ++row)
            EXPECT_EQ(SizeOf(staging_ + PayloadTable[row].tempName), -1) << PayloadTable[row].tempName;
    }

    std::string staging_, system_;
    std::vector<std::string> made_;
    std::string pendingBefore_;
    bool hadPending_ = false;
    std::string dataFolder_;
    bool hadDataFolder_ = false;
};

TEST_F(InstallRoutes, Windows9x) {
    Run(1, 4, 10);
    for (int row : {35, 36, 37}) ExpectInstalled(row, Path(PayloadTable[row].targetPath));
    ExpectInstalled(34, System(PayloadTable[34].targetPath));
}

TEST_F(InstallRoutes, WindowsNt4) {
    Run(2, 4, 0);
    ExpectInstalled(38, System(PayloadTable[38].targetPath));
    ExpectInstalled(39, System(PayloadTable[39].targetPath));
}

TEST_F(InstallRoutes, WindowsNt5ReplacesTheDriverAtRestart) {
    Run(2, 5, 1);
    ExpectInstalled(40, System("vk038.tmp"));
    EXPECT_GT(SizeOf(staging_ + "vk038.tmp"), 0) << "the extracted copy stays";
    // One operation at the end of the list: the new driver renamed over the old one.
    bool present = false;
    std::string pending = ReadPending(&present);
    std::vector<std::string> strings;
    for (size_t at = 0; at < pending.size();) {
        std::string s(pending.c_str() + at);
        at += s.size() + 1;
        strings.push_back(Upper(s));
    }
    while (!strings.empty() && strings.back().empty()) strings.pop_back();
    ASSERT_GE(strings.size(), 2u);
    const std::string target = Upper("!\\??\\" + System("Drivers\\CDRVKVSD.SYS"));
    const std::string temp = Upper("\\??\\" + System("vk038.tmp"));
    std::vector<std::string> tail(strings.end() - 2, strings.end());
    EXPECT_EQ(tail, (std::vector<std::string>{temp, target}));
}

}  // namespace
