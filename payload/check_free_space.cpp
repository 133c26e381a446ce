// The room an update needs on each drive, counted in the drive's clusters as the run takes and
// gives them back, row by row in the order it installs them:
//   - the row's payload, extracted into the staging folder as stored (compressed);
//   - the new file, expanded by the version service beside the old one under the temp name;
//   - then, for a row replaced now, the staged copy goes and the old file with it; a row
//     replaced at the restart keeps both until then (a held driver included, which is
//     replaced only then), and one replaced now or at the restart gives back its staged copy;
//   - a file already under a name the run writes (a temp name an earlier run left) is
//     replaced, and gives back what it took;
//   - last, each data file is copied into the data folder before its source goes: the data
//     folder's drive holds one copy more while it is made, and all of them when it is another
//     drive than the install folder's.
// The need of a drive is the most it holds beyond today at any point of this sequence, and
// it must not pass the clusters free for this user.
#include "payload/check_free_space.h"

#include <cstdint>

#include "payload/payload_length.h"
#include "payload/payload_table.h"
#include "platform/files.h"
#include "platform/module.h"
#include "platform/system.h"
#include "text/path_text.h"

namespace {

// The staging, install, system and data folders: at most four drives.
const int kDriveLimit = 4;

struct Drive {
    char root[PATH_BUFFER_SIZE];
    uint64_t clusterBytes;  // 0: its free space could not be read, its writes are not counted
    int64_t freeClusters;
    int64_t taken;  // clusters the run holds on it now beyond what it held before
};

struct Drives {
    Drive drive[kDriveLimit];
    int count;
    platform::GetDiskFreeSpaceExAProc freeSpaceEx;  // nullptr where KERNEL32.DLL lacks it
};

// The drive of `folder`, its free space read the first time it is met; nullptr for a folder
// without a drive root (not counted).
Drive* DriveOf(Drives* drives, const char* folder) {
    char root[PATH_BUFFER_SIZE];
    if (!DriveRoot(folder, root, sizeof root)) return nullptr;
    for (int i = 0; i < drives->count; ++i)
        if (platform::lstrcmpiA(drives->drive[i].root, root) == 0) return &drives->drive[i];
    if (drives->count == kDriveLimit) return nullptr;
    Drive* drive = &drives->drive[drives->count++];
    CopyText(drive->root, sizeof drive->root, root);
    drive->clusterBytes = 0;
    drive->taken = 0;
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!platform::GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters) ||
        sectorsPerCluster == 0 || bytesPerSector == 0)
        return drive;
    drive->clusterBytes = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
    drive->freeClusters = freeClusters;
    // The older call stops at 2 GB on 95/98/Me and knows no disk quotas: the newer one, where
    // there is one, tells what this user may take.
    ULARGE_INTEGER available;
    if (drives->freeSpaceEx != nullptr && drives->freeSpaceEx(root, &available, nullptr, nullptr))
        drive->freeClusters = static_cast<int64_t>(available.QuadPart / drive->clusterBytes);
    return drive;
}

int64_t Clusters(const Drive& drive, uint64_t bytes) {
    return static_cast<int64_t>((bytes + drive.clusterBytes - 1) / drive.clusterBytes);
}

// The length of the file `name` in `folder`, 0 for none.
uint64_t LengthThere(const char* folder, const char* name) {
    char path[PATH_BUFFER_SIZE];
    uint64_t length = 0;
    if (!JoinPath(path, sizeof path, folder, name) || !FileLength(path, &length)) return 0;
    return length;
}

// The run writes `bytes` over `replaced` bytes on the drive: 0 when the drive has no room.
int Take(Drive* drive, uint64_t bytes, uint64_t replaced) {
    if (drive == nullptr || drive->clusterBytes == 0) return 1;
    drive->taken += Clusters(*drive, bytes) - Clusters(*drive, replaced);
    return drive->taken <= drive->freeClusters;
}

void GiveBack(Drive* drive, uint64_t bytes) {
    if (drive != nullptr && drive->clusterBytes != 0) drive->taken -= Clusters(*drive, bytes);
}

struct DataMove {
    const char* installFolder;
    Drive* from;
    Drive* to;
    int fits;
};

void TakeDataFile(const char* name, void* context) {
    DataMove& move = *static_cast<DataMove*>(context);
    uint64_t length = LengthThere(move.installFolder, name);
    if (!move.fits || length == 0) return;
    move.fits = Take(move.to, length, 0);
    if (move.to == move.from) GiveBack(move.to, length);
}

int Refuse(char* failedPath, size_t failedPathSize, const char* folder) {
    CopyText(failedPath, failedPathSize, folder);
    return 0;
}

}  // namespace

int CheckFreeSpace(const InstallRoute* const* routes, int routeCount, const char* stagingFolder,
                   const char* installFolder, const char* systemFolder, const char* dataFolder,
                   DataFileLister listDataFiles, char* failedPath, size_t failedPathSize) {
    Drives drives = {};
    HMODULE kernel = platform::GetModuleHandleA("KERNEL32.DLL");
    FARPROC found = kernel != nullptr ? platform::GetProcAddress(kernel, "GetDiskFreeSpaceExA") : nullptr;
    // Through void (*)(), which converts to any function pointer type without a warning.
    drives.freeSpaceEx = reinterpret_cast<platform::GetDiskFreeSpaceExAProc>(reinterpret_cast<void (*)()>(found));
    Drive* staging = DriveOf(&drives, stagingFolder);
    for (int r = 0; r < routeCount; ++r) {
        const InstallRoute& route = *routes[r];
        for (int part = 0; part < route.partCount; ++part) {
            const RoutePart& rows = route.parts[part];
            const char* folder = rows.folder == SYSTEM_FOLDER ? systemFolder : installFolder;
            Drive* destination = DriveOf(&drives, folder);
            for (int row = rows.rows.first; row < rows.rows.first + rows.rows.count; ++row) {
                const PayloadEntry& entry = PayloadTable[row];
                uint32_t stored = 0, installed = 0;
                if (!PayloadLengths(entry.payloadIndex, &stored, &installed)) continue;  // the run will tell
                if (!Take(staging, stored, LengthThere(stagingFolder, entry.tempName)))
                    return Refuse(failedPath, failedPathSize, stagingFolder);
                if (!Take(destination, installed, LengthThere(folder, entry.tempName)))
                    return Refuse(failedPath, failedPathSize, folder);
                if (route.replacement != REPLACE_AT_RESTART) GiveBack(staging, stored);
                if (route.replacement == REPLACE_NOW) GiveBack(destination, LengthThere(folder, entry.targetPath));
            }
        }
    }
    if (dataFolder[0] == '\0' || listDataFiles == nullptr) return 1;
    DataMove move = {installFolder, DriveOf(&drives, installFolder), DriveOf(&drives, dataFolder), 1};
    listDataFiles(installFolder, &TakeDataFile, &move);
    return move.fits ? 1 : Refuse(failedPath, failedPathSize, dataFolder);
}
