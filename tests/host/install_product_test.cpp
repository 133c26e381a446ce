// vkmachine install-product: the seeded product is what discovery finds, and an independent
// PE reader (pefile) reads the same FileVersion as the version service.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "discovery/known_versions.h"
#include "platform/files.h"
#include "emulator/machine/host.h"
#include "process/process_state.h"
#include "support/run_command.h"
#include "support/temp_folder.h"
#include "support/temp_machine.h"
#include "text/path_text.h"

namespace {

namespace host = platform::host;

class InstallProduct : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Run(temp_.path("out.txt"), "create " + temp_.path("m")), 0);
    }
    void TearDown() override { host::CloseMachine(); }
    // Runs vkmachine with `args`, its output kept in the file `log`.
    int Run(const std::string& log, const std::string& args) {
        std::string output;
        int status = vktest::RunCommand(std::string(VK_BINARY_DIR) + "/vkmachine " + args, &output);
        vktest::TempMachine::WriteHostFile(log, output);
        return status;
    }
    vktest::TempFolder temp_{"vkinstall"};
};

TEST_F(InstallProduct, SeededBuildIsIdentifiedAndReadByPefile) {
    const std::string m = temp_.path("m");
    ASSERT_EQ(Run(temp_.path("i.txt"), "install-product " + m + " --version '3, 1, 5, 0'"), 0)
        << vktest::TempMachine::ReadHostFile(temp_.path("i.txt"));
    const std::string exe = m + "/drive_c/Program Files/Orvane/Velkor TARN/VKTARN.EXE";
    EXPECT_EQ(std::filesystem::file_size(exe), 4371968u);  // the table's size of that build

    // Debian's pefile belongs to /usr/bin/python3.
    std::string script = temp_.path("read.py");
    vktest::TempMachine::WriteHostFile(
        script,
        "import sys, pefile\n"
        "pe = pefile.PE(sys.argv[1])\n"
        "for info in pe.FileInfo[0]:\n"
        "    if info.Key == b'StringFileInfo':\n"
        "        for table in info.StringTable:\n"
        "            if table.LangID == b'041104b0':\n"
        "                print(table.entries[b'FileVersion'].decode('utf-8'))\n");
    std::string out = temp_.path("pefile.txt");
    ASSERT_EQ(std::system(("/usr/bin/python3 " + script + " '" + exe + "' >" + out + " 2>&1").c_str()), 0)
        << vktest::TempMachine::ReadHostFile(out);
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(out), "3, 1, 5, 0\n");

    std::string error;
    ASSERT_TRUE(host::OpenMachine(m, &error)) << error;
    AppModule = host::ModuleHandle();
    char folder[PATH_BUFFER_SIZE] = "C:\\Program Files\\Orvane\\Velkor TARN";
    uint32_t current = 7;
    EXPECT_EQ(IdentifyInstalledVersion(folder, sizeof folder, &current, nullptr), 1);
    EXPECT_EQ(current, 0u);
    for (const char* file : {"C:\\Program Files\\Orvane\\Velkor TARN\\VKCDDB.DB",
                             "C:\\Program Files\\Orvane\\Velkor TARN\\CHG.LOG",
                             "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Velkor TARN\\Velkor TARN.lnk"}) {
        EXPECT_NE(platform::GetFileAttributesA(file), INVALID_FILE_ATTRIBUTES) << file;
    }
}

TEST_F(InstallProduct, OtherFolderAndSizeAndBadCommandLines) {
    const std::string m = temp_.path("m");
    ASSERT_EQ(Run(temp_.path("i.txt"), "install-product " + m + " --version '1, 8, 2, 0' --folder 'D:\\ソフト\\TARN'"), 0)
        << vktest::TempMachine::ReadHostFile(temp_.path("i.txt"));
    EXPECT_EQ(std::filesystem::file_size(m + "/drive_d/ソフト/TARN/VKTARN.EXE"), 4000000u);  // any size accepted
    ASSERT_EQ(Run(temp_.path("i.txt"), "install-product " + m + " --version '1, 9, 2, 0' --size 3278336"), 0);
    EXPECT_EQ(std::filesystem::file_size(m + "/drive_c/Program Files/Orvane/Velkor TARN/VKTARN.EXE"), 3278336u);
    for (const std::string& bad : {std::string("install-product ") + m, "install-product " + m + " --version x --size 12k",
                                   "install-product " + m + " --version x --folder relative",
                                   "install-product " + temp_.path("none --version x")}) {
        EXPECT_NE(Run(temp_.path("bad.txt"), bad), 0) << bad;
    }
}

}  // namespace
