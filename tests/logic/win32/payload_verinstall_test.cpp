// Every payload written by ExtractPayload and expanded by the real VerInstallFileA gives back
// the bytes mkpayloads made it from (read through Wine's Z: drive from the build folder).
#include <gtest/gtest.h>

#include <string>

#include "logic/logic_fixture.h"
#include "payload/extract_payload.h"
#include "payload/payload_table.h"
#include "platform/version.h"

namespace {

using PayloadInstall = Logic;

std::string ReadPath(const std::string& path) {
    HANDLE h = platform::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing " + path + ">";
    std::string all;
    static char buffer[65536];
    DWORD got = 0;
    while (platform::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) all.append(buffer, got);
    platform::CloseHandle(h);
    return all;
}

TEST_F(PayloadInstall, VerInstallFileExpandsEveryPayload) {
    const std::string staging = Path("staging"), target = Path("target");
    ASSERT_TRUE(platform::CreateDirectoryA(staging.c_str(), nullptr));
    ASSERT_TRUE(platform::CreateDirectoryA(target.c_str(), nullptr));
    for (const PayloadEntry& row : PayloadTable) {
        ASSERT_EQ(ExtractPayload(staging.c_str(), row.tempName, row.payloadIndex), 0) << row.tempName;
        char temp[MAX_PATH] = "";
        UINT tempLength = sizeof temp;
        DWORD result = platform::VerInstallFileA(0, row.tempName, "installed.bin", staging.c_str(), target.c_str(),
                                                 target.c_str(), temp, &tempLength);
        EXPECT_EQ(result & ~static_cast<DWORD>(VIF_TEMPFILE), 0u) << row.tempName;
        // Installed under its name, or left under the temporary name it reports.
        const std::string installed = target + "\\" + ((result & VIF_TEMPFILE) ? temp : "installed.bin");
        const std::string expected = ReadPath(std::string("Z:") + VK_PAYLOAD_DIR + "/expanded/" + row.tempName);
        EXPECT_TRUE(ReadPath(installed) == expected) << row.tempName;
        platform::DeleteFileA(installed.c_str());
        platform::DeleteFileA((staging + "\\" + row.tempName).c_str());
    }
    platform::RemoveDirectoryA(staging.c_str());
    platform::RemoveDirectoryA(target.c_str());
}

}  // namespace
