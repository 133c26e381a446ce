// The free space of the machine's drives: what GetDiskFreeSpaceA and GetDiskFreeSpaceExA
// report, and what a write that grows a file meets. A drive has the free space of the host
// file system that holds its folder, or, when machine.ini gives the drive a size ([drives]
// C = BYTES), that size less what the drive holds, whichever is less. Space is counted in
// clusters of 4 KB (8 sectors of 512 bytes), as NTFS and FAT32 allocate on disks of these
// machines' sizes: a file of one byte takes a whole cluster.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>

#include "platform/files.h"
#include "emulator/files/file_system.h"
#include "emulator/machine/machine_state.h"

namespace platform::host {
namespace {

const DWORD kSectorBytes = 512;
const DWORD kSectorsPerCluster = 8;
const uint64_t kClusterBytes = kSectorBytes * kSectorsPerCluster;
// 95/98/Me's GetDiskFreeSpaceA never reports more than 2 GB, free or in all.
const uint64_t kLargestOldReport = 0x7FFFFFFFull / kClusterBytes;

uint64_t Clusters(uint64_t bytes) { return (bytes + kClusterBytes - 1) / kClusterBytes; }

// The clusters the files below host folder `dir` take.
uint64_t HeldClusters(const std::string& dir) {
    std::error_code ec;
    uint64_t clusters = 0;
    std::filesystem::recursive_directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code sizeError;
        if (it->is_regular_file(sizeError)) {
            uintmax_t size = it->file_size(sizeError);
            if (!sizeError) clusters += Clusters(size);
        }
    }
    return clusters;
}

// The drive letter of a host path of the machine ("drive_c/..."), or 0.
char DriveOfHostPath(const std::string& host) {
    std::string key = MachineKey(host);
    const std::string prefix = "drive_";
    if (key.size() < prefix.size() + 1 || key.compare(0, prefix.size(), prefix) != 0) return 0;
    char letter = key[prefix.size()];
    if (letter < 'a' || letter > 'z' || (key.size() > prefix.size() + 1 && key[prefix.size() + 1] != '/')) return 0;
    return static_cast<char>(letter - 'a' + 'A');
}

// The clusters of `drive`, in all and free. ERROR_PATH_NOT_FOUND for a drive the machine lacks.
DWORD DriveClusters(char drive, uint64_t* total, uint64_t* free) {
    std::string dir = DriveFolder(drive);
    struct statvfs st;
    if (!IsDirectory(dir) || statvfs(dir.c_str(), &st) != 0) return ERROR_PATH_NOT_FOUND;
    *total = static_cast<uint64_t>(st.f_blocks) * st.f_frsize / kClusterBytes;
    *free = static_cast<uint64_t>(st.f_bavail) * st.f_frsize / kClusterBytes;
    uint64_t size = Config().driveSize[drive - 'A'];
    if (size == 0) return ERROR_SUCCESS;
    uint64_t sized = size / kClusterBytes;
    uint64_t held = HeldClusters(dir);
    *total = sized;
    *free = std::min(*free, held < sized ? sized - held : 0);
    return ERROR_SUCCESS;
}

// The drive a path of the call names: `path` itself for GetDiskFreeSpaceExA (any folder of
// the drive), its root alone for GetDiskFreeSpaceA ("C:\"); the current drive for none.
DWORD DriveOfPath(LPCSTR path, bool rootOnly, char* drive) {
    if (path == nullptr) {
        *drive = 'C';
        return ERROR_SUCCESS;
    }
    Target t;
    DWORD error = ResolveTarget(path, &t);
    if (error != ERROR_SUCCESS) return error;
    if (!t.exists) return ERROR_PATH_NOT_FOUND;
    if (!t.isDir) return ERROR_DIRECTORY;
    if (rootOnly && (!t.win.parts.empty() || !t.win.trailingSeparator)) return ERROR_INVALID_NAME;
    *drive = t.win.drive;
    return ERROR_SUCCESS;
}

// The clusters of the drive a call names (see DriveOfPath); false with the last error set.
bool PathClusters(LPCSTR path, bool rootOnly, uint64_t* total, uint64_t* free) {
    char drive = 0;
    DWORD error = DriveOfPath(path, rootOnly, &drive);
    if (error == ERROR_SUCCESS) error = DriveClusters(drive, total, free);
    if (error == ERROR_SUCCESS) return true;
    SetError(error);
    return false;
}

}  // namespace

std::string DriveFolder(char drive) {
    return MachineDir() + "/drive_" + static_cast<char>(drive - 'A' + 'a');
}

bool DriveHeldBytes(char drive, unsigned long long* bytes) {
    std::string dir = DriveFolder(drive);
    if (!IsDirectory(dir)) return false;
    *bytes = HeldClusters(dir) * kClusterBytes;
    return true;
}

DWORD RoomToGrow(const std::string& host, uint64_t oldSize, uint64_t newSize) {
    if (Clusters(newSize) <= Clusters(oldSize)) return ERROR_SUCCESS;
    char drive = DriveOfHostPath(host);
    // A drive of the host's size meets the host's own full disk, as ENOSPC.
    if (drive == 0 || Config().driveSize[drive - 'A'] == 0) return ERROR_SUCCESS;
    uint64_t total = 0, free = 0;
    if (DriveClusters(drive, &total, &free) != ERROR_SUCCESS) return ERROR_SUCCESS;
    return Clusters(newSize) - Clusters(oldSize) <= free ? ERROR_SUCCESS : ERROR_DISK_FULL;
}

DWORD RoomToWrite(const std::string& host, int fd, uint64_t bytes) {
    struct stat st;
    off_t at = lseek(fd, 0, SEEK_CUR);
    if (fstat(fd, &st) != 0 || at < 0) return ERROR_SUCCESS;  // the write itself will tell
    uint64_t size = static_cast<uint64_t>(st.st_size);
    return RoomToGrow(host, size, std::max(size, static_cast<uint64_t>(at) + bytes));
}

BOOL WINAPI GetDiskFreeSpaceExA(LPCSTR folder, PULARGE_INTEGER availableToCaller, PULARGE_INTEGER totalBytes,
                                PULARGE_INTEGER freeBytes) {
    uint64_t total = 0, free = 0;
    if (InjectedFailure(Call::GetDiskFreeSpaceExA) || !PathClusters(folder, false, &total, &free)) return FALSE;
    // No disk quotas: what this user may take is what is free.
    if (availableToCaller != nullptr) availableToCaller->QuadPart = free * kClusterBytes;
    if (totalBytes != nullptr) totalBytes->QuadPart = total * kClusterBytes;
    if (freeBytes != nullptr) freeBytes->QuadPart = free * kClusterBytes;
    return TRUE;
}

}  // namespace platform::host

namespace platform {

BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                       LPDWORD totalClusters) {
    using namespace host;
    uint64_t total = 0, free = 0;
    if (InjectedFailure(Call::GetDiskFreeSpaceA) || !PathClusters(root, true, &total, &free)) return FALSE;
    uint64_t largest = Config().platformId == VER_PLATFORM_WIN32_WINDOWS ? kLargestOldReport : 0xFFFFFFFFull;
    if (sectorsPerCluster != nullptr) *sectorsPerCluster = kSectorsPerCluster;
    if (bytesPerSector != nullptr) *bytesPerSector = kSectorBytes;
    if (freeClusters != nullptr) *freeClusters = static_cast<DWORD>(std::min(free, largest));
    if (totalClusters != nullptr) *totalClusters = static_cast<DWORD>(std::min(total, largest));
    return TRUE;
}

}  // namespace platform
