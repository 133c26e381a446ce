#include "logic/discovery_support.h"

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "formats/pe_writer.h"

namespace vktest {

const char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\VKTARN.EXE";

std::string VersionedImage(const std::string& version, uint32_t size) {
    pewriter::PeLayout layout;
    layout.fileVersion = version;
    layout.size = size;
    layout.body = "discovery test";
    std::string image, error;
    EXPECT_TRUE(pewriter::BuildPe(layout, &image, &error)) << error;
    return image;
}

RegValue ReadValue(HKEY root, const std::string& key, const std::string& name) {
    RegValue value;
    HKEY k = nullptr;
    if (platform::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return value;
    char data[1024];
    DWORD type = REG_NONE, size = sizeof data;
    if (platform::RegQueryValueExA(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) ==
        ERROR_SUCCESS) {
        value.type = type;
        value.data.assign(data, size);
        // Windows may add a NUL to a text stored without one; the text is what counts here.
        if ((type == REG_SZ || type == REG_EXPAND_SZ) && !value.data.empty() && value.data.back() == '\0')
            value.data.pop_back();
    }
    platform::RegCloseKey(k);
    return value;
}

void WriteAppPath(DWORD type, const std::string& data) {
    HKEY k = nullptr;
    ASSERT_EQ(platform::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                        &k, nullptr),
              ERROR_SUCCESS);
    platform::RegSetValueExA(k, "Path", 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size()));
    platform::RegCloseKey(k);
}

}  // namespace vktest
