// The emulated machine's LoadLibraryA: its libraries load from the system folder by full path;
// a bare name loads only when it is a known DLL of the machine's family.
#include <gtest/gtest.h>

#include <string>

#include "platform/module.h"
#include "platform/system.h"
#include "support/temp_machine.h"

namespace {

using vktest::TempMachine;

TEST(LoadLibraryHost, BareNamesOnlyForTheFamilysKnownDlls) {
    const char* const kXp = "[windows]\nplatform = 2\nmajor = 5\nminor = 1\n";
    const char* const k98 = "[windows]\nplatform = 1\nmajor = 4\nminor = 10\n[folders]\nsystem = C:\\WINDOWS\\SYSTEM\n";
    struct {
        const char* ini;
        const char* name;
        bool loads;
    } cases[] = {
        {kXp, "C:\\WINDOWS\\system32\\SHFOLDER.DLL", true},
        {kXp, "c:\\windows\\SYSTEM32\\shell32.dll", true},
        {kXp, "SHELL32.DLL", true},  // a known DLL of NT 4.0, 2000 and XP
        {kXp, "SHELL32", true},
        {kXp, "SHFOLDER.DLL", false},  // known on no family: first looked for beside the program
        {kXp, "shfolder", false},
        {kXp, "C:\\WINDOWS\\TEMP\\SHFOLDER.DLL", false},  // not where the machine keeps it
        {kXp, ".\\SHELL32.DLL", false},
        {k98, "C:\\WINDOWS\\SYSTEM\\SHFOLDER.DLL", true},
        {k98, "C:\\WINDOWS\\SYSTEM\\SHELL32.DLL", true},
        {k98, "SHELL32.DLL", false},  // 95/98/Me know no such list entry by default
        {k98, "SHFOLDER.DLL", false},
    };
    for (const auto& c : cases) {
        TempMachine machine(c.ini);
        HMODULE module = platform::LoadLibraryA(c.name);
        EXPECT_EQ(module != nullptr, c.loads) << c.name;
        if (module != nullptr) {
            EXPECT_TRUE(platform::FreeLibrary(module));
        } else {
            EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << c.name;
        }
    }
}

}  // namespace
