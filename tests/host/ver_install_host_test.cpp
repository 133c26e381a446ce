// The host's VerInstallFileA where Windows cannot be asked the same way: damaged SZDD streams,
// real compressor output, protected destinations, injected faults.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "platform/files.h"
#include "emulator/machine/host.h"
#include "platform/version.h"
#include "support/temp_machine.h"

namespace {

using namespace std::string_literals;
using vktest::TempMachine;

// An SZDD header stating `stated` bytes, then literal groups of `data`.
std::string Szdd(const std::string& data, uint32_t stated, char mode = 'A') {
    std::string out = "SZDD\x88\xF0\x27\x33"s + mode + '\0';
    for (int i = 0; i < 4; ++i) out += static_cast<char>((stated >> (8 * i)) & 0xFF);
    for (size_t at = 0; at < data.size(); at += 8) {
        size_t n = std::min<size_t>(8, data.size() - at);
        out += static_cast<char>((1u << n) - 1);
        out += data.substr(at, n);
    }
    return out;
}

class VerInstallHost : public ::testing::Test {
protected:
    void SetUp() override { Open(""); }
    void Open(const std::string& ini) {
        machine_.reset();  // one machine open at a time
        machine_ = std::make_unique<TempMachine>(ini);
        std::filesystem::create_directories(machine_->host("C:\\src"));
        std::filesystem::create_directories(machine_->host("C:\\dst"));
    }
    void Source(const std::string& bytes) { TempMachine::WriteHostFile(machine_->host("C:\\src\\vk001.tmp"), bytes); }
    DWORD Install(const char* destination = "C:\\dst") {
        char temp[270] = {};
        UINT length = 260;
        return platform::VerInstallFileA(VIFF_FORCEINSTALL, "vk001.tmp", "vk001.tmp", "C:\\src\\", destination,
                                         nullptr, temp, &length);
    }
    // The names in the destination folder, hidden ones included.
    std::string Listing(const char* folder = "C:\\dst") {
        std::string names;
        for (const auto& e : std::filesystem::directory_iterator(machine_->host(folder)))
            names += e.path().filename().string() + ";";
        return names;
    }
    std::string Installed() { return TempMachine::ReadHostFile(machine_->host("C:\\dst\\vk001.tmp")); }

    std::unique_ptr<TempMachine> machine_;
};

TEST_F(VerInstallHost, ExpandsWhatMscompressMakes) {
    // Random bytes with repeated stretches, longer than the 4096-byte window.
    std::mt19937 random(7);
    std::string original;
    while (original.size() < 70000) {
        std::string piece(1 + random() % 300, '\0');
        for (char& c : piece) c = static_cast<char>(random() % 7 == 0 ? random() : 'a' + random() % 3);
        original += piece;
        if (random() % 2) original += original.substr(original.size() / 2, 1 + random() % 200);
    }
    std::string plain = machine_->dir() + "/plain.bin";
    TempMachine::WriteHostFile(plain, original);
    ASSERT_EQ(std::system(("mscompress '" + plain + "'").c_str()), 0) << "mscompress (Debian package mscompress)";
    Source(TempMachine::ReadHostFile(plain + "_"));
    EXPECT_EQ(Install(), 0u);
    EXPECT_TRUE(Installed() == original);
}

TEST_F(VerInstallHost, ProtectedDestinationsAreReported) {
    Source(Szdd("new", 3));
    TempMachine::WriteHostFile(machine_->host("C:\\dst\\vk001.tmp"), "old");
    ASSERT_TRUE(platform::SetFileAttributesA("C:\\dst\\vk001.tmp", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Install(), static_cast<DWORD>(VIF_WRITEPROT));
    EXPECT_EQ(Installed(), "old");

    ASSERT_TRUE(platform::SetFileAttributesA("C:\\dst\\vk001.tmp", FILE_ATTRIBUTE_NORMAL));
    HANDLE open = platform::CreateFileA("C:\\dst\\vk001.tmp", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);
    // As Windows documents it: the new file is left beside the old one under a temp name.
    EXPECT_EQ(Install(), static_cast<DWORD>(VIF_TEMPFILE | VIF_CANNOTDELETE | VIF_SHARINGVIOLATION));
    platform::CloseHandle(open);
    EXPECT_EQ(Installed(), "old");
    EXPECT_NE(Listing().find("VER"), std::string::npos) << Listing();

    platform::host::FailCall("VerInstallFileA", 1, ERROR_DISK_FULL);
    EXPECT_EQ(Install(), static_cast<DWORD>(VIF_OUTOFSPACE));
    EXPECT_EQ(Installed(), "old");
    EXPECT_EQ(Install(), 0u) << "the fault fires once";
    EXPECT_EQ(Installed(), "new");
}

TEST_F(VerInstallHost, SystemFolderNeedsAdministrator) {
    Open("[windows]\nadmin = 0\n");
    Source(Szdd("driver", 6));
    DWORD result = Install("C:\\WINDOWS\\system32");
    EXPECT_NE(result & VIF_ACCESSVIOLATION, 0u);
    EXPECT_NE(result & VIF_CANNOTCREATE, 0u);
    EXPECT_EQ(Listing("C:\\WINDOWS\\system32"), "");
}

}  // namespace
