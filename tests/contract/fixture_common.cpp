#include "contract/fixture.h"

void Contract::MakeFile(const std::string& name, const std::string& bytes) {
    HANDLE h = platform::CreateFileA(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << name;
    DWORD written = 0;
    ASSERT_TRUE(platform::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
    platform::CloseHandle(h);
}

std::string Contract::ReadAll(const std::string& name) {
    HANDLE h = platform::CreateFileA(Path(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string all;
    char buffer[4096];
    DWORD got = 0;
    while (platform::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) all.append(buffer, got);
    platform::CloseHandle(h);
    return all;
}
