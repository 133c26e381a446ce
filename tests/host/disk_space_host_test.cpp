// The drives' free space: what GetDiskFreeSpaceA and GetDiskFreeSpaceExA report, and what a
// write that grows a file meets on a drive machine.ini gives a size.
#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "platform/module.h"
#include "platform/system.h"
#include "platform/version.h"
#include "support/temp_machine.h"

namespace {

const DWORD kCluster = 4096;

DWORD FreeClusters(const char* root = "C:\\", DWORD* total = nullptr) {
    DWORD sectors = 0, bytes = 0, free = 0, all = 0;
    EXPECT_TRUE(platform::GetDiskFreeSpaceA(root, &sectors, &bytes, &free, &all));
    EXPECT_EQ(sectors * bytes, kCluster);
    if (total != nullptr) *total = all;
    return free;
}

platform::GetDiskFreeSpaceExAProc FreeSpaceEx() {
    HMODULE kernel = platform::GetModuleHandleA("KERNEL32.DLL");
    FARPROC found = kernel != nullptr ? platform::GetProcAddress(kernel, "GetDiskFreeSpaceExA") : nullptr;
    return reinterpret_cast<platform::GetDiskFreeSpaceExAProc>(reinterpret_cast<void (*)()>(found));
}

// Writes `bytes` into a new file; the error of the write, ERROR_SUCCESS when it took them all.
DWORD WriteNew(const char* path, const std::string& bytes) {
    HANDLE h = platform::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return platform::GetLastError();
    DWORD written = 0;
    BOOL ok = platform::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    DWORD error = ok ? ERROR_SUCCESS : platform::GetLastError();
    if (!ok) {
        EXPECT_EQ(written, 0u) << path;  // a write with no room writes nothing
    }
    platform::CloseHandle(h);
    return error;
}

TEST(HostDiskSpace, ASizedDriveHasWhatItsFilesLeaveAndRefusesWritesPastIt) {
    vktest::TempMachine m("[drives]\nC = 1048576\n");  // 256 clusters
    DWORD total = 0;
    DWORD before = FreeClusters("C:\\", &total);
    EXPECT_EQ(total, 256u);
    ASSERT_GT(before, 4u);
    ASSERT_EQ(WriteNew("C:\\one.bin", "x"), static_cast<DWORD>(ERROR_SUCCESS));  // a byte takes a cluster
    EXPECT_EQ(FreeClusters(), before - 1);
    ULARGE_INTEGER available, all, free;
    ASSERT_NE(FreeSpaceEx(), nullptr);
    ASSERT_TRUE(FreeSpaceEx()("C:\\WINDOWS", &available, &all, &free));  // any folder of the drive
    EXPECT_EQ(available.QuadPart, uint64_t{before - 1} * kCluster);
    EXPECT_EQ(all.QuadPart, uint64_t{256} * kCluster);

    // Exactly what is left fits; then a byte more, a copy and an expansion find the disk full.
    ASSERT_EQ(WriteNew("C:\\fill.bin", std::string((before - 1) * kCluster, 'f')), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(FreeClusters(), 0u);
    EXPECT_EQ(WriteNew("C:\\more.bin", "y"), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(m.ReadHostFile(m.host("C:\\more.bin")), "");
    EXPECT_FALSE(platform::CopyFileA("C:\\one.bin", "C:\\two.bin", TRUE));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(platform::GetFileAttributesA("C:\\two.bin"), INVALID_FILE_ATTRIBUTES);  // no partial copy left
    char tempName[MAX_PATH] = {};
    UINT tempLength = sizeof tempName;
    DWORD installed = platform::VerInstallFileA(VIFF_FORCEINSTALL, "one.bin", "three.bin", "C:\\", "C:\\", nullptr,
                                                tempName, &tempLength);
    EXPECT_NE(installed & VIF_OUTOFSPACE, 0u) << installed;
    // Deleting gives the space back, as Windows counts it at once.
    ASSERT_TRUE(platform::DeleteFileA("C:\\fill.bin"));
    EXPECT_EQ(FreeClusters(), before - 1);
    EXPECT_TRUE(platform::CopyFileA("C:\\one.bin", "C:\\two.bin", TRUE));
}

TEST(HostDiskSpace, TheOldCallTakesRootsAndStopsAt2GbOn95To98) {
    struct Case {
        const char* windows;
        bool freeSpaceEx;  // KERNEL32.DLL offers GetDiskFreeSpaceExA
        bool capped;       // GetDiskFreeSpaceA reports at most 2 GB
    };
    const Case cases[] = {
        {"platform = 1\nmajor = 4\nminor = 0\n", false, true},  // the first Windows 95
        {"platform = 1\nmajor = 4\nminor = 10\n", true, true},
        {"platform = 2\nmajor = 4\nminor = 0\n", true, false},
        {"platform = 2\nmajor = 5\nminor = 1\n", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.windows);
        vktest::TempMachine m(std::string("[windows]\n") + c.windows + "[drives]\nC = 8589934592\n");  // 8 GB
        DWORD total = 0;
        uint64_t free = uint64_t{FreeClusters("C:\\", &total)} * kCluster;
        // The size is the drive's whatever the host has free; the free space may be the host's.
        EXPECT_EQ(uint64_t{total} * kCluster, c.capped ? 0x7FFFF000u : uint64_t{8} << 30);
        if (c.capped) {
            EXPECT_LE(free, 0x7FFFF000u);
        }
        EXPECT_EQ(FreeSpaceEx() != nullptr, c.freeSpaceEx);
        ULARGE_INTEGER available, size;
        if (c.freeSpaceEx) {
            ASSERT_TRUE(FreeSpaceEx()("C:\\", &available, &size, nullptr));
            EXPECT_EQ(size.QuadPart, uint64_t{8} << 30);
            if (!c.capped) {
                EXPECT_EQ(available.QuadPart, free);
            }
        }

        DWORD sectors, bytes, clusters, all;
        EXPECT_FALSE(platform::GetDiskFreeSpaceA("C:\\WINDOWS\\", &sectors, &bytes, &clusters, &all));  // no root
        EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
        EXPECT_FALSE(platform::GetDiskFreeSpaceA("Q:\\", &sectors, &bytes, &clusters, &all));
        EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    }
}

}  // namespace
