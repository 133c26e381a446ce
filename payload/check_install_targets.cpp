#include "payload/check_install_targets.h"

#include <cstring>

#include "payload/driver_service.h"
#include "payload/pending_renames.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "text/path_text.h"

namespace {

int IsFolder(const char* path) {
    DWORD attributes = platform::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A replacement at the restart can be registered: this user may write the list of operations
// pending until restart (and, with `driverService`, the driver's service key), and the list,
// when other software left one, is of the type Windows adds to (REG_MULTI_SZ). Opening a key
// for writing writes nothing.
int RestartReplacementPossible(int driverService) {
    HKEY key = nullptr;
    if (driverService && platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_CREATE_SUB_KEY | KEY_SET_VALUE,
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

// 1 when this user may make a new file at `path` (the updater's own temp name, absent): made and
// removed at once, which shows that the folder takes a new file from this user, as the run
// will need.
int FolderTakesNewFile(const char* path) {
    HANDLE file = platform::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    platform::CloseHandle(file);
    platform::DeleteFileA(path);
    return 1;
}

// The row's file named when it cannot be installed: its target path, or the temp name the run
// must write (a folder in its place, a file another program holds, a name an operation pending
// until the restart would take away) in `failedPath`.
int NameFailure(char* failedPath, size_t failedPathSize, const char* path) {
    CopyText(failedPath, failedPathSize, path);
    return 0;
}

// 1 when the row's file can be installed into `folder` (an existing one) through the existing
// `stagingFolder` by `route`. An old file in use waits for the restart where the route may
// replace it then (a driver Windows loaded at start is in use until it stops); elsewhere it
// refuses the run until the program that holds it lets go. Otherwise 0, with `failedPath` empty
// for the target, or holding the temp path at fault.
int RowFits(const PayloadEntry& entry, const InstallRoute& route, const char* folder, const char* stagingFolder,
            int ntSecurity, const PendingRenames& pending, char* failedPath, size_t failedPathSize) {
    failedPath[0] = '\0';
    char target[PATH_BUFFER_SIZE];
    char temp[PATH_BUFFER_SIZE];
    char extracted[PATH_BUFFER_SIZE];
    if (!JoinPath(target, sizeof target, folder, entry.targetPath) || CharacterCount(target) >= MAX_PATH ||
        IsFolder(target) || !JoinPath(temp, sizeof temp, folder, entry.tempName) || CharacterCount(temp) >= MAX_PATH ||
        !JoinPath(extracted, sizeof extracted, stagingFolder, entry.tempName) || CharacterCount(extracted) >= MAX_PATH)
        return 0;
    // Where the restart may replace the target, the temp name is the source of that replacement:
    // another operation on it would undo the run; and the replacing rename an earlier run
    // registered is this run's own. A staged copy and an immediate row's temp name are gone
    // before the restart: what it does with them changes nothing.
    const char* ownSource = route.replacement != REPLACE_NOW ? temp : nullptr;
    const char* ownTarget = route.replacement != REPLACE_NOW ? target : nullptr;
    const char* const tempPaths[] = {temp, extracted};
    for (const char* path : tempPaths) {
        // One an earlier run left must be free as an old target must be.
        DWORD attributes = platform::GetFileAttributesA(path);
        if ((attributes != INVALID_FILE_ATTRIBUTES &&
             ((attributes & FILE_ATTRIBUTE_DIRECTORY) || !NobodyElseHolds(path, attributes, ntSecurity))) ||
            (path == temp && ownSource != nullptr && PendingRenameTouches(pending, path, ownSource, ownTarget)))
            return NameFailure(failedPath, failedPathSize, path);
        if (attributes == INVALID_FILE_ATTRIBUTES && !FolderTakesNewFile(path)) return 0;
    }
    if (PendingRenameTouches(pending, target, ownSource, ownTarget)) return 0;
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
    // Operations other software left for the restart: a run whose files they would take away or
    // replace could not stay installed. 95/98/Me keep no such list in the registry.
    // A list that changes while it is read is read no further: the run names its first file.
    PendingRenames pending = {};
    int fits = !ntSecurity || ReadPendingRenames(&pending);
    if (!fits && !JoinPath(failedPath, failedPathSize, installFolder, PayloadTable[0].targetPath))
        CopyText(failedPath, failedPathSize, PayloadTable[0].targetPath);
    for (int r = 0; fits && r < routeCount; ++r) {
        const InstallRoute& route = *routes[r];
        for (int part = 0; fits && part < route.partCount; ++part) {
            const RoutePart& rows = route.parts[part];
            const char* folder = rows.folder == SYSTEM_FOLDER ? systemFolder : installFolder;
            // Both folders are looked at once a part; a missing one fails the part's first row.
            bool foldersExist = folder[0] != '\0' && IsFolder(folder) && IsFolder(stagingFolder);
            for (int row = rows.rows.first; fits && row < rows.rows.first + rows.rows.count; ++row) {
                const PayloadEntry& entry = PayloadTable[row];
                failedPath[0] = '\0';
                fits = foldersExist &&
                       RowFits(entry, route, folder, stagingFolder, ntSecurity, pending, failedPath, failedPathSize);
                // Otherwise the file that was to be installed, named in full whatever its length.
                if (!fits && failedPath[0] == '\0' && !JoinPath(failedPath, failedPathSize, folder, entry.targetPath))
                    CopyText(failedPath, failedPathSize, entry.targetPath);
            }
        }
    }
    FreePendingRenames(&pending);
    return fits;
}
