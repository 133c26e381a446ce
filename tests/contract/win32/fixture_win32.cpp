// The contract sandbox on Windows (under Wine): a new folder in the temporary folder and a new
// key below HKEY_CURRENT_USER\Software\VkContract, both named after the test.
#include <string>

#include "contract/fixture.h"

struct Contract::Sandbox {};

void Contract::SetUp() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // Wine reuses process ids from run to run: the tick count keeps every run's names new.
    std::string name = std::string(info->test_suite_name()) + "." + info->name() + "." +
                       std::to_string(::GetCurrentProcessId()) + "." + std::to_string(::GetTickCount());
    char temp[MAX_PATH + 1] = {0};
    ASSERT_GT(platform::GetTempPathA(sizeof temp, temp), 0u);
    folder_ = std::string(temp) + "vkcontract-" + name;
    ASSERT_TRUE(platform::CreateDirectoryA(folder_.c_str(), nullptr)) << folder_;
    keyPath_ = "Software\\VkContract\\" + name;
    ASSERT_EQ(platform::RegCreateKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, 0,
                                        KEY_ALL_ACCESS, nullptr, &key_, nullptr),
              ERROR_SUCCESS);
}

void Contract::TearDown() {
    if (key_ != nullptr) platform::RegCloseKey(key_);
    // Leaves no files behind: removes what the test made in its folder (one level deep).
    WIN32_FIND_DATAA found;
    HANDLE search = platform::FindFirstFileA(Path("*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            platform::SetFileAttributesA(Path(name).c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!platform::DeleteFileA(Path(name).c_str())) platform::RemoveDirectoryA(Path(name).c_str());
        } while (platform::FindNextFileA(search, &found));
        platform::FindClose(search);
    }
    platform::RemoveDirectoryA(folder_.c_str());
}
