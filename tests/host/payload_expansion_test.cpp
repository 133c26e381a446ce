// The payload resources expanded by two independent expanders (libmspack and Debian's
// msexpand) against the bytes mkpayloads made them from; the program stand-in read by pefile;
// a failing write during extraction.
#include <gtest/gtest.h>
#include <mspack.h>

#include <fstream>
#include <sstream>
#include <string>

#include "discovery/known_versions.h"
#include "payload/extract_payload.h"
#include "payload/payload_table.h"
#include "platform/files.h"
#include "emulator/machine/host.h"
#include "emulator/resources/module_resources.h"
#include "process/process_state.h"
#include "support/run_command.h"
#include "support/temp_folder.h"
#include "support/temp_machine.h"

namespace {

std::string ReadHost(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// What a shell command printed.
std::string Shell(const std::string& command) {
    std::string out;
    vktest::RunCommand(command, &out);
    return out;
}

class PayloadFiles : public ::testing::Test {
protected:
    vktest::TempFolder temp_{"vkpayload"};
};

// The bytes of the resource that payload `index` selects.
std::string ResourceOf(uint32_t index) {
    const BYTE* data = nullptr;
    DWORD size = 0;
    if (!platform::host::FindResourceBytes(10, static_cast<WORD>(index + PAYLOAD_RESOURCE_BASE), &data, &size))
        return "";
    return std::string(reinterpret_cast<const char*>(data), size);
}

std::string Expected(const PayloadEntry& row) {
    return ReadHost(std::string(VK_PAYLOAD_DIR) + "/expanded/" + row.tempName);
}

TEST_F(PayloadFiles, LibmspackGivesBackEveryFile) {
    msszdd_decompressor* szdd = mspack_create_szdd_decompressor(nullptr);
    ASSERT_NE(szdd, nullptr);
    for (const PayloadEntry& row : PayloadTable) {
        const std::string packed = temp_.path("packed"), out = temp_.path("out"), expected = Expected(row);
        std::ofstream(packed, std::ios::binary) << ResourceOf(row.payloadIndex);
        ASSERT_FALSE(expected.empty()) << row.tempName;
        msszddd_header* header = szdd->open(szdd, const_cast<char*>(packed.c_str()));
        ASSERT_NE(header, nullptr) << row.tempName;
        EXPECT_EQ(header->format, MSSZDD_FMT_NORMAL) << row.tempName;
        EXPECT_EQ(static_cast<size_t>(header->length), expected.size()) << row.tempName;
        EXPECT_EQ(szdd->extract(szdd, header, const_cast<char*>(out.c_str())), MSPACK_ERR_OK) << row.tempName;
        szdd->close(szdd, header);
        EXPECT_TRUE(ReadHost(out) == expected) << row.tempName;
    }
    mspack_destroy_szdd_decompressor(szdd);
}

// msexpand reads and writes a byte at a time: the files are expanded two at a time.
TEST_F(PayloadFiles, MsexpandGivesBackEveryFile) {
    std::string names;
    for (const PayloadEntry& row : PayloadTable) {
        std::ofstream(temp_.dir() + "/" + row.tempName + ".sz", std::ios::binary) << ResourceOf(row.payloadIndex);
        names += std::string(row.tempName) + "\n";
    }
    Shell("cd '" + temp_.dir() + "' && printf '" + names + "' | xargs -P 2 -I{} sh -c 'msexpand < {}.sz > {}.out'");
    for (const PayloadEntry& row : PayloadTable) {
        const std::string expected = Expected(row);
        ASSERT_FALSE(expected.empty()) << row.tempName;
        EXPECT_TRUE(ReadHost(temp_.dir() + "/" + row.tempName + ".out") == expected) << row.tempName;
    }
}

// pefile, an independent PE reader, sees the program stand-in as build "3, 1, 6, 0" of
// 4,371,968 bytes, the size and version that identify a current installation.
TEST_F(PayloadFiles, ProgramStandInCarriesTheNewVersion) {
#ifdef VK_PAYLOAD_RELEASE_BUILD
    GTEST_SKIP() << "release files are not stand-ins";
#endif
    const std::string file = std::string(VK_PAYLOAD_DIR) + "/expanded/vk002.tmp";
    std::string out = Shell("/usr/bin/python3 -c \"import pefile, os, sys\n"
                          "pe = pefile.PE(sys.argv[1])\n"
                          "for info in pe.FileInfo[0]:\n"
                          "    for table in getattr(info, 'StringTable', []):\n"
                          "        print(table.LangID.decode(), table.entries[b'FileVersion'].decode())\n"
                          "print(os.path.getsize(sys.argv[1]), pe.is_dll())\" '" +
                          file + "' 2>&1");
    EXPECT_EQ(out, "041104b0 3, 1, 6, 0\n4371968 False\n");
}

// An installation holding the expanded program stand-in is identified as the current build.
TEST_F(PayloadFiles, ProgramStandInIsIdentifiedAsCurrent) {
    vktest::TempMachine machine;
    std::ifstream in(std::string(VK_PAYLOAD_DIR) + "/expanded/vk002.tmp", std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    ASSERT_TRUE(platform::CreateDirectoryA("C:\\P", nullptr));
    vktest::TempMachine::WriteHostFile(machine.host("C:\\P\\VKTARN.EXE"), bytes.str());
    uint32_t current = 0;
    EXPECT_EQ(MatchKnownVersion("C:\\P", &current), 1);
    EXPECT_EQ(current, 1u);  // only the newest build is current
}

TEST_F(PayloadFiles, AFailedWriteLeavesNoFile) {
    vktest::TempMachine machine;
    AppModule = platform::host::ModuleHandle();
    platform::host::FailCall("WriteFile", 1, ERROR_DISK_FULL);
    EXPECT_EQ(ExtractPayload("C:\\WINDOWS\\TEMP\\", "vk002.tmp", 2), 1);
    EXPECT_EQ(platform::GetFileAttributesA("C:\\WINDOWS\\TEMP\\vk002.tmp"), INVALID_FILE_ATTRIBUTES);
    // The next write succeeds again.
    EXPECT_EQ(ExtractPayload("C:\\WINDOWS\\TEMP\\", "vk002.tmp", 2), 0);
    EXPECT_NE(platform::GetFileAttributesA("C:\\WINDOWS\\TEMP\\vk002.tmp"), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
