// The contract sandbox on the emulated machine: a fresh machine per test.
#include <memory>

#include "contract/fixture.h"
#include "support/temp_machine.h"

struct Contract::Sandbox {
    vktest::TempMachine machine;
};

void Contract::SetUp() {
    sandbox_ = new Sandbox();
    folder_ = "C:\\contract";
    ASSERT_TRUE(platform::CreateDirectoryA(folder_.c_str(), nullptr));
    keyPath_ = "Software\\VkContract";
    ASSERT_EQ(platform::RegCreateKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, 0,
                                        KEY_ALL_ACCESS, nullptr, &key_, nullptr),
              ERROR_SUCCESS);
}

void Contract::TearDown() {
    if (key_ != nullptr) platform::RegCloseKey(key_);
    delete sandbox_;
    sandbox_ = nullptr;
}
