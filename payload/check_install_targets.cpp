#include "payload/check_install_targets.h"

#include <cstring>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "text/path_text.h"

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingOperations[] = "PendingFileRenameOperations";
const char kServices[] = "SYSTEM\\CurrentControlSet\\Services";

int IsFolder(const char* path) {
    DWORD attributes = platform::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// out = folder joined with name, when it fits `size` bytes and fewer than MAX_PATH characters
// and names no folder.
int UsableFilePath(char* out, size_t size, const char* folder, const char* name) {
    return JoinPath(out, size, folder, name) && CharacterCount(out) < MAX_PATH && !IsFolder(out);
}

// A replacement at the restart can be registered: this user may write the list of operations
// pending until restart (and, with `driverService`, the driver's service key), and the list,
// when other software left one, is of the type Windows adds to (REG_MULTI_SZ). Opening a key
// for writing writes nothing.
int RestartReplacementPossible(int driverService) {
    HKEY key = nullptr;
    if (driverService && platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServices, 0, KEY_CREATE_SUB_KEY | KEY_SET_VALUE,
                                                 &key) == ERROR_ACCESS_DENIED)
        return 0;
    if (key != nullptr) platform::RegCloseKey(key);
    key = nullptr;
    LONG opened = platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
    if (opened == ERROR_ACCESS_DENIED) return 0;
    if (opened != ERROR_SUCCESS) return 1;  // the registration itself will tell
    DWORD type = REG_MULTI_SZ;
    DWORD size = 0;
    LONG result = platform::RegQueryValueExA(key, kPendingOperations, nullptr, &type, nullptr, &size);
    platform::RegCloseKey(key);
    return result != ERROR_SUCCESS || type == REG_MULTI_SZ;
}

// 1 unless the existing file at `path` is held open by another program (a virus scanner, the
// product itself), is a running program, or may not be changed by this user: opened alone for
// writing and deletion, it would be refused. A read-only file is not opened for writing (its
// attribute goes before it is replaced). 95/98/Me know no DELETE access: there a file is opened
// alone for writing, and a read-only one is not opened. The handle is closed at once; nothing
// is written.
int NobodyElseHolds(const char* path, DWORD attributes, int ntSecurity) {
    bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (!ntSecurity && readOnly) return 1;
    DWORD access = readOnly ? DELETE : ntSecurity ? GENERIC_WRITE | DELETE : GENERIC_WRITE;
    HANDLE file = platform::CreateFileA(path, access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = platform::GetLastError();
        return error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED;
    }
    platform::CloseHandle(file);
    return 1;
}

// 1 when this user may write the updater's own temp name at `path`, as the run will: one an
// earlier run left is opened as an old target is (nobody else may hold it); otherwise it is
// made and removed at once, which shows that the folder takes a new file from this user.
int TempNameWritable(const char* path, int ntSecurity) {
    DWORD attributes = platform::GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) return NobodyElseHolds(path, attributes, ntSecurity);
    HANDLE file = platform::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    platform::CloseHandle(file);
    platform::DeleteFileA(path);
    return 1;
}

// 1 when the row's file can be installed into `folder` (an existing one) through the existing
// `stagingFolder` by `route`. An old file in use waits for the restart where the route may
// replace it then (a driver Windows loaded at start is in use until it stops); elsewhere it
// refuses the run until the program that holds it lets go.
int RowFits(const PayloadEntry& entry, const InstallRoute& route, const char* folder, const char* stagingFolder,
            int ntSecurity) {
    char target[PATH_BUFFER_SIZE];
    char temp[PATH_BUFFER_SIZE];
    char extracted[PATH_BUFFER_SIZE];
    if (!UsableFilePath(target, sizeof target, folder, entry.targetPath) ||
        !UsableFilePath(temp, sizeof temp, folder, entry.tempName) ||
        !UsableFilePath(extracted, sizeof extracted, stagingFolder, entry.tempName) ||
        !TempNameWritable(temp, ntSecurity) || !TempNameWritable(extracted, ntSecurity))
        return 0;
    DWORD attributes = platform::GetFileAttributesA(target);
    bool inUse = route.replacement == REPLACE_AT_RESTART ||
                 (attributes != INVALID_FILE_ATTRIBUTES && !NobodyElseHolds(target, attributes, ntSecurity));
    if (inUse && (route.replacement == REPLACE_NOW || !RestartReplacementPossible(route.registersDriver))) return 0;
    // A target in a sub-folder ("Drivers\CDRVKVSD.SYS") needs that folder: none is created.
    const char* last = std::strrchr(entry.targetPath, '\\');
    if (last != nullptr) {
        size_t cut = std::strlen(target) - std::strlen(last);
        target[cut] = '\0';
        if (!IsFolder(target)) return 0;
    }
    return 1;
}

}  // namespace

int CheckInstallTargets(const InstallRoute* const* routes, int routeCount, const char* stagingFolder,
                        const char* installFolder, const char* systemFolder, int ntSecurity,
                        char* failedPath, size_t failedPathSize) {
    for (int r = 0; r < routeCount; ++r) {
        const InstallRoute& route = *routes[r];
        for (int part = 0; part < route.partCount; ++part) {
            const RoutePart& rows = route.parts[part];
            const char* folder = rows.folder == SYSTEM_FOLDER ? systemFolder : installFolder;
            // Both folders are looked at once a part; a missing one fails the part's first row.
            bool foldersExist = folder[0] != '\0' && IsFolder(folder) && IsFolder(stagingFolder);
            for (int row = rows.rows.first; row < rows.rows.first + rows.rows.count; ++row) {
                const PayloadEntry& entry = PayloadTable[row];
                if (foldersExist && RowFits(entry, route, folder, stagingFolder, ntSecurity)) continue;
                // The file that was to be installed, named in full whatever its length.
                if (!JoinPath(failedPath, failedPathSize, folder, entry.targetPath))
                    CopyText(failedPath, failedPathSize, entry.targetPath);
                return 0;
            }
        }
    }
    return 1;
}
