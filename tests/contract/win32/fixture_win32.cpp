// The contract sandbox on Windows (under Wine): a new folder in the temporary folder and a new
// key below HKEY_CURRENT_USER\Software\VkContract, both named after the test.
#include <string>

#include "contract/fixture.h"

struct Contract::Sandbox {};

void Contract::SetUp() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name() + "." +
                       std::to_string(::GetCurrentProcessId());
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
}
