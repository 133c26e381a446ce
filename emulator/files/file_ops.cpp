// Whole-file operations on the emulated machine: DeleteFileA, MoveFileA, MoveFileExA, CopyFileA.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "emulator/files/file_system.h"
#include "emulator/machine/machine_state.h"
#include "platform/files.h"

namespace platform::host {
namespace {

bool SameFile(const std::string& a, const std::string& b) {
    struct stat x, y;
    return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

DWORD Missing(const Target& t) { return t.parentIsDir ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND; }

// Copies the bytes and modification time of `from` into `to`, made or emptied first and
// written in place, as Windows writes it: a copy cut off by a kill stays there cut off. Each
// piece written is a kill point.
DWORD CopyBytes(const std::string& from, const std::string& to, bool replaces) {
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return ErrorFromErrno(errno);
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (replaces ? O_TRUNC : O_EXCL), 0666);
    if (out < 0) {
        int e = errno;
        close(in);
        return ErrorFromErrno(e);
    }
    // Windows sets the copy's length first: a drive without room for it fails the copy at once.
    struct stat source;
    DWORD error = fstat(in, &source) != 0 ? ErrorFromErrno(errno)
                                          : RoomToGrow(to, 0, static_cast<uint64_t>(source.st_size));
    char buffer[65536];
    while (error == ERROR_SUCCESS) {
        ssize_t n = read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = ErrorFromErrno(errno);
        if (n <= 0) break;
        int failure = WriteAll(out, buffer, static_cast<size_t>(n));
        if (failure != 0) {
            error = ErrorFromErrno(failure);
            break;
        }
        KillPoint("CopyFileA.piece");
    }
    struct stat st;
    if (error == ERROR_SUCCESS && fstat(in, &st) == 0) {
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        futimens(out, times);
    }
    close(in);
    if (close(out) != 0 && error == ERROR_SUCCESS) error = ErrorFromErrno(errno);
    // A copy that fails is removed, as Windows removes it; a target it replaced is lost.
    if (error != ERROR_SUCCESS) unlink(to.c_str());
    return error;
}

// True when the existing `target` may not be overwritten by a copy of `source`: it is
// read-only, or hidden or system where the source is not (CreateFileA's CREATE_ALWAYS rule).
bool ReadOnlyOrHiddenFrom(const std::string& target, const std::string& source) {
    DWORD t = ReadAttributes(target, false), s = ReadAttributes(source, false);
    const DWORD hs = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return (t & FILE_ATTRIBUTE_READONLY) || (t & hs & ~s);
}

}  // namespace

DWORD MoveTarget(const Target& from, const Target& to, DWORD flags) {
    if (!from.exists) return Missing(from);
    if (from.win.parts.empty() || to.win.parts.empty()) return ERROR_ACCESS_DENIED;
    if (!to.parentIsDir) return ERROR_PATH_NOT_FOUND;
    bool same = to.exists && SameFile(from.host, to.host);
    bool replaces = to.exists && !same;
    if (replaces) {
        // A name deleted while held stays taken until its last handle closes.
        if (DeletePending(to.host)) return ERROR_ACCESS_DENIED;
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) return ERROR_ALREADY_EXISTS;
        // Nothing replaces a folder; a folder replaces a file as a file does.
        if (to.isDir) return ERROR_ACCESS_DENIED;
        if (ReadAttributes(to.host, false) & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
        DWORD held = CheckRename(to.host, true);
        if (held != ERROR_SUCCESS) return held;
    }
    DWORD held = CheckRename(from.host, false);
    if (held != ERROR_SUCCESS) return held;
    if (from.win.drive != to.win.drive && (from.isDir || !(flags & MOVEFILE_COPY_ALLOWED)))
        return ERROR_NOT_SAME_DEVICE;
    // A name that differs only in case renames the file itself; a replaced file takes the
    // spelling the caller gave.
    std::string dest = replaces ? to.host : to.leafHost;
    // The host renames a folder over a file only once the file is gone.
    if (replaces && from.isDir && unlink(dest.c_str()) == 0) ForgetAttributes(dest);
    if (std::rename(from.host.c_str(), dest.c_str()) != 0) return ErrorFromErrno(errno);
    if (replaces && dest != to.leafHost && std::rename(dest.c_str(), to.leafHost.c_str()) == 0)
        dest = to.leafHost;
    MoveHolds(from.host, dest);
    MoveOpenFiles(from.host, dest);
    return MoveAttributes(from.host, dest);
}

}  // namespace platform::host

namespace platform {

BOOL DeleteFileA(LPCSTR name) {
    using namespace host;
    DWORD error = 0;
    if (Injected(Call::DeleteFileA, &error)) return Result(error);
    Target t;
    error = ResolveTarget(name, &t);
    if (error == ERROR_SUCCESS && t.fileWithSeparator) error = ERROR_INVALID_NAME;
    if (error == ERROR_SUCCESS && !t.exists) error = Missing(t);
    if (error == ERROR_SUCCESS && t.isDir) error = ERROR_ACCESS_DENIED;
    if (error == ERROR_SUCCESS) error = CheckWriteAccess(t.win);
    if (error == ERROR_SUCCESS && (ReadAttributes(t.host, false) & FILE_ATTRIBUTE_READONLY))
        error = ERROR_ACCESS_DENIED;
    if (error == ERROR_SUCCESS) {
        // Held by handles that all share delete: only marked, and gone with the last of them.
        error = MarkForDelete(t.host);
        if (error == ERROR_IO_PENDING) return TRUE;
    }
    if (error == ERROR_SUCCESS && unlink(t.host.c_str()) != 0) error = ErrorFromErrno(errno);
    // An entry left by a failed forget names no file: the next save of the store drops it.
    if (error == ERROR_SUCCESS) ForgetAttributes(t.host);
    return Result(error);
}

static DWORD MoveCall(LPCSTR from, LPCSTR to, DWORD flags) {
    using namespace host;
    Target a, b;
    DWORD error = ResolveTarget(from, &a);
    if (error != ERROR_SUCCESS) return error;
    if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
        // Recorded for the next start in HKEY_LOCAL_MACHINE: administrators only.
        if (!Config().admin) return ERROR_ACCESS_DENIED;
        if (to == nullptr) return RecordPendingOperation(a.win, nullptr, false);
        WindowsPath target;
        error = ParseWindowsPath(to, false, &target);
        if (error != ERROR_SUCCESS) return error;
        return RecordPendingOperation(a.win, &target, (flags & MOVEFILE_REPLACE_EXISTING) != 0);
    }
    if (to == nullptr) return ERROR_INVALID_PARAMETER;
    error = ResolveTarget(to, &b);
    if (error == ERROR_SUCCESS) error = CheckWriteAccess(a.win);
    if (error == ERROR_SUCCESS) error = CheckWriteAccess(b.win);
    if (error == ERROR_SUCCESS) error = MoveTarget(a, b, flags);
    return error;
}

BOOL MoveFileA(LPCSTR from, LPCSTR to) {
    DWORD error = 0;
    if (host::Injected(host::Call::MoveFileA, &error)) return host::Result(error);
    return host::Result(MoveCall(from, to, MOVEFILE_COPY_ALLOWED));
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
    DWORD error = 0;
    if (host::Injected(host::Call::MoveFileExA, &error)) return host::Result(error);
    // The 95/98/Me family has no MoveFileExA: restart operations go through WININIT.INI there.
    if (host::Config().platformId == 1) return host::Result(ERROR_CALL_NOT_IMPLEMENTED);
    // What the machine does not model (write-through, hard links, tracking) it refuses; a
    // copy is no operation for the restart.
    const DWORD modelled = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_DELAY_UNTIL_REBOOT;
    if (flags & ~modelled) return host::Result(ERROR_NOT_SUPPORTED);
    if ((flags & MOVEFILE_DELAY_UNTIL_REBOOT) && (flags & MOVEFILE_COPY_ALLOWED)) return host::Result(ERROR_INVALID_PARAMETER);
    return host::Result(MoveCall(from, to, flags));
}

BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) {
    using namespace host;
    DWORD error = 0;
    if (Injected(Call::CopyFileA, &error)) return Result(error);
    Target a, b;
    error = ResolveTarget(from, &a);
    if (error == ERROR_SUCCESS) error = ResolveTarget(to, &b);
    if (error == ERROR_SUCCESS && !a.exists) error = Missing(a);
    if (error == ERROR_SUCCESS && a.isDir) error = ERROR_ACCESS_DENIED;
    if (error == ERROR_SUCCESS && !b.parentIsDir) error = ERROR_PATH_NOT_FOUND;
    if (error == ERROR_SUCCESS) error = CheckWriteAccess(b.win);
    // The source is opened for reading, sharing reading and writing, as Windows opens it: only
    // a program holding it without sharing reads keeps it from being copied.
    if (error == ERROR_SUCCESS) error = CheckOpen(a.host, true, false, false, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (error == ERROR_SUCCESS && b.exists) {
        if (DeletePending(b.host)) error = ERROR_ACCESS_DENIED;
        else if (failIfExists) error = ERROR_FILE_EXISTS;
        else if (b.isDir || b.win.parts.empty()) error = ERROR_ACCESS_DENIED;
        else if (SameFile(a.host, b.host)) error = ERROR_SHARING_VIOLATION;
        else if (ReadOnlyOrHiddenFrom(b.host, a.host)) error = ERROR_ACCESS_DENIED;
        else error = CheckOpen(b.host, false, true, false, 0);
    }
    if (error != ERROR_SUCCESS) return Result(error);
    std::string dest = b.exists ? b.host : b.leafHost;
    error = CopyBytes(a.host, dest, b.exists);
    if (error != ERROR_SUCCESS) {
        if (b.exists) ForgetAttributes(dest);
        return Result(error);
    }
    DWORD bits = ReadAttributes(a.host, false) & ~FILE_ATTRIBUTE_NORMAL;
    return Result(WriteAttributes(dest, bits | FILE_ATTRIBUTE_ARCHIVE));
}

}  // namespace platform
