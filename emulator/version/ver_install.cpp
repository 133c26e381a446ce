// VerInstallFileA on the emulated machine: the staging file, expanded when it is in the SZDD
// format and copied unchanged otherwise, becomes the destination folder's file of the given
// name. No version comparison is made: the call installs with VIFF_FORCEINSTALL only, and
// refuses what it does not model (a call without it, VIFF_DONTDELETEOLD, a current folder).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "emulator/files/file_system.h"
#include "emulator/machine/machine_state.h"
#include "platform/version.h"
#include "formats/szdd.h"

namespace platform::host {
namespace {

const DWORD kErrorInvalidData = 13;
DWORD Fail(DWORD bits, DWORD error) {
    SetError(error);
    return bits;
}

// VIF_* bits for a Windows error met while making the destination file.
DWORD DestinationBits(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED: return VIF_CANNOTCREATE | VIF_ACCESSVIOLATION;
    case ERROR_SHARING_VIOLATION: return VIF_CANNOTCREATE | VIF_SHARINGVIOLATION;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return VIF_OUTOFSPACE;
    case ERROR_NOT_ENOUGH_MEMORY: return VIF_OUTOFMEMORY;
    default: return VIF_CANNOTCREATE;
    }
}

// VIF_* bits for an error injected into the call: the source side for a missing or unreadable
// source, the destination side for everything else.
DWORD InjectedBits(DWORD error) {
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == kErrorInvalidData)
        return VIF_CANNOTREADSRC;
    return DestinationBits(error);
}

// folder, a backslash unless it is empty or already ends with a separator, then name.
std::string JoinName(const char* folder, const char* name) {
    std::string joined = folder;
    std::vector<std::string> chars = SplitCharacters(joined);
    if (!chars.empty() && chars.back() != "\\" && chars.back() != "/") joined += '\\';
    return joined + name;
}

// Reads the whole source. ERROR_SUCCESS or the error of the read.
DWORD ReadSource(const std::string& host, std::string* bytes) {
    int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrorFromErrno(errno);
    char buffer[1 << 16];
    DWORD error = ERROR_SUCCESS;
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = ErrorFromErrno(errno);
        if (n <= 0) break;
        bytes->append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return error;
}

// Writes the new file `out` from the source's bytes as Windows' expander does: expanded as far
// as the stream goes when they begin with a whole SZDD header, whatever length it states (the
// caller checks what it needs); copied unchanged otherwise. Returns VIF_* bits, 0 when written.
DWORD WriteInstalled(const std::string& source, const std::string& out) {
    std::string expanded;
    const std::string& bytes = szdd::Decode(source, &expanded) ? expanded : source;
    int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    DWORD error = fd < 0 ? ErrorFromErrno(errno) : RoomToGrow(out, 0, bytes.size());
    int failure = fd >= 0 && error == ERROR_SUCCESS ? WriteAll(fd, bytes.data(), bytes.size()) : 0;
    if (fd >= 0 && close(fd) != 0 && failure == 0) failure = errno;
    if (failure != 0) error = ErrorFromErrno(failure);
    if (error == ERROR_SUCCESS) return 0;
    return Fail(DestinationBits(error), error);
}

// Writes the new file beside the destination under a name of its own ("VER1A2B.tmp") and
// reports it: VIF_TEMPFILE with the name in `tempName` and its length (NUL included) in
// `*tempNameLength`, or, when that buffer is too small, VIF_BUFFTOOSMALL and no file. Returns
// the bits to add, 0 when nothing could be left.
DWORD LeaveTempFile(const std::string& bytes, const Target& dest, LPSTR tempName, PUINT tempNameLength) {
    for (unsigned n = static_cast<unsigned>(getpid()) & 0xFFFF, tries = 0; tries < 0x10000; ++tries, n = (n + 1) & 0xFFFF) {
        char name[16];
        std::snprintf(name, sizeof name, "VER%04X.tmp", n);
        Target temp;
        std::string path = dest.win.Text();
        path.erase(path.rfind('\\') + 1);
        if (ResolveTarget((path + name).c_str(), &temp) != ERROR_SUCCESS) return 0;
        if (temp.exists) continue;
        UINT needed = static_cast<UINT>(std::strlen(name) + 1);
        if (tempName == nullptr || tempNameLength == nullptr || *tempNameLength < needed) return VIF_BUFFTOOSMALL;
        if (WriteInstalled(bytes, temp.leafHost) != 0) {
            unlink(temp.leafHost.c_str());
            return 0;
        }
        ForgetAttributes(temp.leafHost);
        std::memcpy(tempName, name, needed);
        *tempNameLength = needed;
        return VIF_TEMPFILE;
    }
    return 0;
}

}  // namespace
}  // namespace platform::host

namespace platform {

DWORD VerInstallFileA(DWORD flags, LPCSTR sourceName, LPCSTR destinationName, LPCSTR sourceFolder,
                      LPCSTR destinationFolder, LPCSTR currentFolder, LPSTR tempName,
                      PUINT tempNameLength) {
    using namespace host;
    DWORD error = 0;
    // An injected ERROR_SUCCESS makes the call report success without installing anything.
    if (Injected(Call::VerInstallFileA, &error)) return error == ERROR_SUCCESS ? 0 : Fail(InjectedBits(error), error);
    if (flags != VIFF_FORCEINSTALL || (currentFolder != nullptr && currentFolder[0] != '\0'))
        return Fail(VIF_CANNOTCREATE, ERROR_NOT_SUPPORTED);
    if (sourceName == nullptr || sourceFolder == nullptr) return Fail(VIF_CANNOTREADSRC, ERROR_INVALID_PARAMETER);
    if (destinationName == nullptr || destinationFolder == nullptr)
        return Fail(VIF_CANNOTCREATE, ERROR_INVALID_PARAMETER);

    Target source;
    error = ResolveTarget(JoinName(sourceFolder, sourceName).c_str(), &source);
    if (error == ERROR_SUCCESS && (!source.exists || source.isDir))
        error = source.parentIsDir ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    // The source is read through its share mode, as LZOpenFile opens it.
    if (error == ERROR_SUCCESS) error = CheckOpen(source.host, true, false, false, FILE_SHARE_READ | FILE_SHARE_WRITE);
    std::string bytes;
    if (error == ERROR_SUCCESS) error = ReadSource(source.host, &bytes);
    if (error != ERROR_SUCCESS) return Fail(VIF_CANNOTREADSRC, error);

    Target dest;
    error = ResolveTarget(JoinName(destinationFolder, destinationName).c_str(), &dest);
    if (error == ERROR_SUCCESS && !dest.parentIsDir) error = ERROR_PATH_NOT_FOUND;
    if (error == ERROR_SUCCESS) error = CheckWriteAccess(dest.win);
    if (error == ERROR_SUCCESS && dest.exists) {
        if (dest.isDir || dest.win.parts.empty()) error = ERROR_ACCESS_DENIED;
        else if (ReadAttributes(dest.host, false) & FILE_ATTRIBUTE_READONLY) return Fail(VIF_WRITEPROT, ERROR_ACCESS_DENIED);
    }
    if (error != ERROR_SUCCESS) return Fail(DestinationBits(error), error);
    // A destination in use: held by handles that all share delete it is deleted, but its name
    // stays taken until they close, so the new file cannot take it and the old one goes at the
    // last close. Held without sharing delete it cannot be deleted: the new file is left beside
    // it under a temporary name, reported as Windows documents it.
    if (dest.exists) {
        error = MarkForDelete(dest.host);
        if (error == ERROR_IO_PENDING) return Fail(VIF_CANNOTRENAME, ERROR_ALREADY_EXISTS);
        if (error != ERROR_SUCCESS) {
            DWORD bits = VIF_CANNOTDELETE | (error == ERROR_SHARING_VIOLATION ? VIF_SHARINGVIOLATION : VIF_ACCESSVIOLATION);
            return Fail(LeaveTempFile(bytes, dest, tempName, tempNameLength) | bits, error);
        }
    }

    // The file is made beside the destination and renamed over it only when complete, so a
    // failed expansion leaves neither a partial file nor a damaged old one.
    std::string partial = dest.parentHost + "/.vkver-" + std::to_string(getpid()) + ".tmp";
    unlink(partial.c_str());
    DWORD bits = WriteInstalled(bytes, partial);
    std::string installed = dest.exists ? dest.host : dest.leafHost;
    if (bits == 0 && std::rename(partial.c_str(), installed.c_str()) != 0) {
        error = ErrorFromErrno(errno);
        bits = Fail(DestinationBits(error), error);
    }
    if (bits != 0) {
        unlink(partial.c_str());
        return bits;
    }
    ForgetAttributes(installed);
    return 0;
}

}  // namespace platform
