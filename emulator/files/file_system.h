// Shared parts of the emulated file system (paths, attributes, open files), for the host
// modules that implement the file calls. Not for the logic, tools or tests.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "emulator/machine/host.h"

namespace platform::host {

// A full Windows path, split and normalized: drive letter (upper case) and components in the
// machine code page, with "." and ".." resolved.
struct WindowsPath {
    char drive = 'C';
    std::vector<std::string> parts;
    bool trailingSeparator = false;  // the text ended with '\' or '/' (not a trail byte)
    // "C:\a\b" ("C:\" for the root).
    std::string Text() const;
};

// Splits `path` (machine code page). Relative paths start at the current folder C:\. With
// `wildcardLast`, '*' and '?' are allowed in the last component. Returns an ERROR_* code.
DWORD ParseWindowsPath(const std::string& path, bool wildcardLast, WindowsPath* out);
// Host path of the first `count` components (all of them with count = -1), each existing one
// matched without regard to case; missing ones keep their spelling.
DWORD MapWindowsPath(const WindowsPath& path, size_t count, std::string* hostPath);
// The characters of an ANSI text: one or two bytes each.
std::vector<std::string> SplitCharacters(const std::string& text);

// The host entry that holds a Windows name (one component, machine code page): its UTF-8 form
// or, when that is longer than a host name may be, a recorded stand-in. ERROR_* code.
DWORD HostEntryName(const std::string& ansi, std::string* entry);
// The Windows name of a host entry; false for an entry that holds no file of the machine.
bool WindowsEntryName(const std::string& entry, std::string* ansi);

// One entry of a folder: its host name, its Windows name and its 8.3 alias ("" for none).
struct FolderEntry {
    std::string host;
    std::string name;
    std::string alias;
};
// The entries of host folder `dir` in the order Windows lists them ("." and ".." with `dots`),
// with aliases when the machine makes them. Kept between calls (folder_listing.cpp): a folder
// costs one reading, however many lookups follow.
std::vector<FolderEntry> ListFolder(const std::string& dir, bool dots);
// The entries of host folder `dir` that `name` (no wildcards) names without regard to case, by
// their Windows name or their alias, in the order Windows lists them, with their aliases.
std::vector<FolderEntry> FolderEntriesNamed(const std::string& dir, const std::string& name);
// Of the entries a name names (FolderEntriesNamed), the one a lookup takes: the first whose
// Windows name it is, else the first it is the alias of. False when there is none.
bool PickEntry(const std::vector<FolderEntry>& named, const std::string& part, std::string* entry);

// FindKeptEntry's answers.
enum class KeptAnswer { kFound, kMissing, kNotKept };
// The entry of host folder `dir` that names `part` (machine code page), as a lookup finds it:
// the exact spelling, else the first entry whose name, or alias, is equal without regard to
// case; with its S_IF* type in `mode` (0: not known). Answered from the kept folders while
// `dir` and every folder above it are kept (no host call but the reading of the host's
// reports, which the later lookups of one path may leave out: `drain`); kNotKept when they
// are not.
KeptAnswer FindKeptEntry(const std::string& dir, const std::string& part, bool drain, std::string* entry,
                         mode_t* mode);

// What a file call needs to know about its path.
struct Target {
    WindowsPath win;
    std::string host;        // the mapped host path (existing spelling where it exists)
    std::string parentHost;  // host path of the containing folder
    std::string leafHost;    // parent + the last component as given (UTF-8)
    bool exists = false;
    bool isDir = false;
    bool parentIsDir = false;
    // The name ends with a separator but is no folder ("C:\dir\file.txt\"): it names nothing,
    // and the calls that open or delete refuse it with ERROR_INVALID_NAME.
    bool fileWithSeparator = false;
};
// Parses and maps `name`; ERROR_SUCCESS or the error the call reports.
DWORD ResolveTarget(LPCSTR name, Target* target);
// ERROR_ACCESS_DENIED when the machine has no administrator rights and `path` is what a limited
// user may not change: the system folder or what it holds, and from Windows 2000 on the
// program files folder too; ERROR_SUCCESS otherwise.
DWORD CheckWriteAccess(const WindowsPath& path);

// The host folder of drive `drive` ('A' to 'Z'), whether or not the machine has it.
std::string DriveFolder(char drive);
// ERROR_SUCCESS when the file at `host` may grow from `oldSize` to `newSize` bytes on its
// drive; ERROR_DISK_FULL when the drive's free clusters do not take it (disk_space.cpp).
DWORD RoomToGrow(const std::string& host, uint64_t oldSize, uint64_t newSize);
// The same for a write of `bytes` at the position of `fd`, the open file at `host`.
DWORD RoomToWrite(const std::string& host, int fd, uint64_t bytes);
// GetDiskFreeSpaceExA, which KERNEL32.DLL offers by name (GetProcAddress).
BOOL WINAPI GetDiskFreeSpaceExA(LPCSTR folder, PULARGE_INTEGER availableToCaller, PULARGE_INTEGER totalBytes,
                                PULARGE_INTEGER freeBytes);

// The key of a host path in the machine's stores: its path relative to the machine folder, or
// "" outside it.
std::string MachineKey(const std::string& host);

// Attributes kept beside the files (attributes.txt in the machine folder, keyed by the host
// path relative to the machine folder). Files without an entry read as FILE_ATTRIBUTE_ARCHIVE.
// The changes return ERROR_SUCCESS or the Windows error of a failed save of the store.
DWORD ReadAttributes(const std::string& host, bool isDir);
DWORD WriteAttributes(const std::string& host, DWORD attributes);
DWORD ForgetAttributes(const std::string& host);  // the path and everything below it
DWORD MoveAttributes(const std::string& from, const std::string& to);
DWORD CopyAttributes(const std::string& from, const std::string& to);

// Holds that other programs keep on the machine's files, kept in holds.txt beside the drives:
// a file open with some access and share mode, or the image of a running program, which may
// be read and renamed but neither written nor deleted. `vkmachine hold`, `run`, `release` and
// `stop` make and end them.
struct Hold {
    std::string key;  // the file's MachineKey
    bool read = false;
    bool write = false;
    bool del = false;
    bool execute = false;     // counts as reading in share checks
    bool attributes = false;  // open for its attributes only: no data access, no part in share checks
    DWORD share = 0;  // FILE_SHARE_* bits
    bool image = false;
    bool driver = false;         // an image the system loaded at start: only a restart ends it
    bool deletePending = false;  // deleted while held: it goes when the hold ends
};
std::vector<Hold> LoadHolds();
DWORD SaveHolds(const std::vector<Hold>& holds);  // ERROR_SUCCESS or the error of the save
// Which holds end: a restart ends every one; programs that end (vkmachine stop) leave files
// open elsewhere and loaded drivers; a program that closes a file leaves loaded drivers.
enum class HoldsEnd { kRestart, kProgramsEnd, kFileClosed };
// Ends the holds on the file at `host`, or on every file with `host` empty, that `end` ends.
// A file deleted while held goes with its last hold. ERROR_SUCCESS, or ERROR_NOT_FOUND when
// nothing was held, ERROR_ACCESS_DENIED when only a loaded driver holds it.
DWORD ReleaseHolds(const std::string& host, HoldsEnd end);

// The data access of a handle opened with the access rights `access`, as share checks count it.
struct DataAccess {
    bool read = false;     // FILE_READ_DATA (what ReadFile needs)
    bool execute = false;  // FILE_EXECUTE: shares as reading does
    bool write = false;    // FILE_WRITE_DATA or FILE_APPEND_DATA
    bool del = false;      // DELETE
};
DataAccess DataAccessOf(DWORD access);

// What Windows answers an open of the file at `host` with this access and share mode while
// other handles and holds are on it: ERROR_SUCCESS, ERROR_SHARING_VIOLATION, or
// ERROR_ACCESS_DENIED for a file that was deleted and waits for its last handle.
DWORD CheckOpen(const std::string& host, bool read, bool write, bool del, DWORD share);
// What a delete of the file at `host` meets: ERROR_SUCCESS when nothing holds it (it may go
// now), ERROR_IO_PENDING when every holder shares delete (it is now marked and goes with its
// last handle), ERROR_ACCESS_DENIED for a running program's image or a file already marked,
// ERROR_SHARING_VIOLATION otherwise.
DWORD MarkForDelete(const std::string& host);
// True when the file at `host` was deleted and waits for its last handle: its name is taken.
bool DeletePending(const std::string& host);
// What a rename of the file at `host` meets (as the file renamed, or, with `replaced`, as the
// file a rename replaces): ERROR_SUCCESS, ERROR_SHARING_VIOLATION or ERROR_ACCESS_DENIED.
DWORD CheckRename(const std::string& host, bool replaced);
// The holds follow a renamed file.
void MoveHolds(const std::string& from, const std::string& to);
// This process's open handles follow a renamed file or folder.
void MoveOpenFiles(const std::string& from, const std::string& to);

}  // namespace platform::host

namespace platform::host {

// Renames `from` to `to` as MoveFileExA does, with its MOVEFILE_REPLACE_EXISTING and
// MOVEFILE_COPY_ALLOWED flags; moves folders too. Returns an ERROR_* code.
DWORD MoveTarget(const Target& from, const Target& to, DWORD flags);
// Appends a rename (or, with `to` null, a delete) to PendingFileRenameOperations.
DWORD RecordPendingOperation(const WindowsPath& from, const WindowsPath* to, bool replace);


}  // namespace platform::host
