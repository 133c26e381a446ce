// Shared parts of the emulated file system (paths, attributes, open files), for the host
// modules that implement the file calls. Not for the logic, tools or tests.
#pragma once

#include <string>
#include <vector>

#include "platform/host/machine/host.h"

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
// ERROR_ACCESS_DENIED when the machine has no administrator rights and `path` is the system
// folder or inside it; ERROR_SUCCESS otherwise.
DWORD CheckSystemFolderAccess(const WindowsPath& path);

// Attributes kept beside the files (attributes.txt in the machine folder, keyed by the host
// path relative to the machine folder). Files without an entry read as FILE_ATTRIBUTE_ARCHIVE.
// The changes return ERROR_SUCCESS or the Windows error of a failed save of the store.
DWORD ReadAttributes(const std::string& host, bool isDir);
DWORD WriteAttributes(const std::string& host, DWORD attributes);
DWORD ForgetAttributes(const std::string& host);  // the path and everything below it
DWORD MoveAttributes(const std::string& from, const std::string& to);
DWORD CopyAttributes(const std::string& from, const std::string& to);

// Open files: true when a handle open on the file at `host` does not share delete access,
// so that it may not be deleted, renamed or replaced.
bool OpenWithoutDeleteSharing(const std::string& host);

}  // namespace platform::host

namespace platform::host {

// Renames `from` to `to` as MoveFileExA does, with its MOVEFILE_REPLACE_EXISTING and
// MOVEFILE_COPY_ALLOWED flags; moves folders too. Returns an ERROR_* code.
DWORD MoveTarget(const Target& from, const Target& to, DWORD flags);
// Appends a rename (or, with `to` null, a delete) to PendingFileRenameOperations.
DWORD RecordPendingOperation(const WindowsPath& from, const WindowsPath* to, bool replace);


}  // namespace platform::host
