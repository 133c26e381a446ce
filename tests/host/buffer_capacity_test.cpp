// Every function of the logic that fills a caller's buffer is told its capacity: a buffer one
// byte too small gets an empty text or the fallback that fits, never a byte past its end (the
// buffers are exactly their size, for ASan), and one below MAX_PATH reaches no system call that
// would fill MAX_PATH bytes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "discovery/browse_for_install_folder.h"
#include "discovery/locate_installation.h"
#include "platform/files.h"
#include "emulator/machine/host.h"
#include "postinstall/get_data_folder.h"
#include "postinstall/get_documents_folder.h"
#include "postinstall/get_module_folder.h"
#include "process/process_state.h"
#include "support/temp_machine.h"
#include "text/text_ids.h"

namespace {

TEST(BufferCapacity, TooSmallABufferIsNeverOverrun) {
    vktest::TempMachine machine("[folders]\ndocuments = C:\\Docs\n");
    ASSERT_TRUE(platform::CreateDirectoryA("C:\\Docs", nullptr));
    InitProcessState(platform::host::ModuleHandle());
    HINSTANCE module = AppModule;
    const std::string moduleFolder = "C:\\WINDOWS\\TEMP\\";  // of C:\WINDOWS\TEMP\vkupdate.exe
    const std::string dataFolder = "C:\\Docs\\VkTARN Data";
    struct Case {
        const char* name;
        size_t size;
        std::function<int(char*, size_t)> fill;
        int result;
        std::string text;
        const char* untouched;  // a call that must not have been made, or nullptr
    } cases[] = {
        {"module folder, one byte short", moduleFolder.size(),
         [&](char* out, size_t size) {
             GetModuleFolder(module, out, size);
             return 0;
         }, 0, "", nullptr},
        {"module folder", moduleFolder.size() + 1,
         [&](char* out, size_t size) {
             GetModuleFolder(module, out, size);
             return 0;
         }, 0, moduleFolder, nullptr},
        {"data folder, one byte short: the module folder", dataFolder.size(),
         [&](char* out, size_t size) { return GetDataFolder(out, size, module, IDS_DATA_FOLDER); }, 0, moduleFolder,
         "CreateDirectoryA"},
        {"data folder", dataFolder.size() + 1,
         [&](char* out, size_t size) { return GetDataFolder(out, size, module, IDS_DATA_FOLDER); }, 1, dataFolder,
         nullptr},
        {"documents folder below MAX_PATH", MAX_PATH - 1, GetDocumentsFolder, 0, "", "LoadLibraryA"},
        {"documents folder", MAX_PATH, GetDocumentsFolder, 1, "C:\\Docs", nullptr},
        {"folder picker below MAX_PATH", MAX_PATH - 1,
         [](char* out, size_t size) { return BrowseForInstallFolder(nullptr, IDS_PICK_FOLDER, out, size); }, 0, "",
         "SHBrowseForFolderA"},
        {"install folder below MAX_PATH", MAX_PATH - 1,
         [](char* out, size_t size) {
             uint32_t current = 7;
             return LocateInstallation(nullptr, out, size, &current, nullptr);
         },
         0, "", "RegOpenKeyExA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::host::ClearFaults();  // counts from here
        std::vector<char> buffer(c.size, 'x');
        EXPECT_EQ(c.fill(buffer.data(), buffer.size()), c.result);
        EXPECT_EQ(std::string(buffer.data()), c.text);
        if (c.untouched != nullptr) {
            EXPECT_EQ(platform::host::CallCount(c.untouched), 0) << c.untouched;
        }
    }
}

}  // namespace
