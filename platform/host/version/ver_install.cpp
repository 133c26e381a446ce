// VerInstallFileA on the emulated machine: the staging file, expanded when it is in the SZDD
// format and copied unchanged otherwise, becomes the destination folder's file of the given
// name. No version comparison is made: every call installs, as with VIFF_FORCEINSTALL.
#include <fcntl.h>
#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/host/files/file_system.h"
#include "platform/host/machine/machine_state.h"
#include "platform/version.h"

namespace platform::host {
namespace {

const DWORD kErrorInvalidData = 13;
const unsigned char kSzddMagic[8] = {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33};
const size_t kSzddHeaderSize = 14;

// What the first bytes of the source say.
struct SourceKind {
    bool szdd = false;      // starts with the SZDD magic
    bool complete = false;  // and holds the whole header
    uint64_t length = 0;    // expanded length stated in the header
};

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

// libmspack's own file access passes every few bytes of output to stdio, which costs more
// than the expansion itself: this one gathers the output and writes it in large pieces.
struct Mspack {
    mspack_system base;
    int writeError = 0;  // errno of the first write that failed, when the output is closed too
};

struct MspackFile {
    Mspack* system;
    int fd;
    std::string pending;  // output not yet written
};

const size_t kWritePiece = 1 << 16;

MspackFile* Of(mspack_file* file) { return reinterpret_cast<MspackFile*>(file); }

bool Flush(MspackFile* f) {
    int failure = WriteAll(f->fd, f->pending.data(), f->pending.size());
    if (failure != 0) {
        if (f->system->writeError == 0) f->system->writeError = failure;
        return false;
    }
    f->pending.clear();
    return true;
}

mspack_file* MspackOpen(mspack_system* self, const char* name, int mode) {
    if (mode != MSPACK_SYS_OPEN_READ && mode != MSPACK_SYS_OPEN_WRITE) return nullptr;
    int flags = mode == MSPACK_SYS_OPEN_READ ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC;
    int fd = open(name, flags | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    return reinterpret_cast<mspack_file*>(new MspackFile{reinterpret_cast<Mspack*>(self), fd, {}});
}

void MspackClose(mspack_file* file) {
    Flush(Of(file));
    close(Of(file)->fd);
    delete Of(file);
}

int MspackRead(mspack_file* file, void* buffer, int bytes) {
    for (;;) {
        ssize_t n = read(Of(file)->fd, buffer, static_cast<size_t>(bytes));
        if (n < 0 && errno == EINTR) continue;
        return n < 0 ? -1 : static_cast<int>(n);
    }
}

int MspackWrite(mspack_file* file, void* buffer, int bytes) {
    Of(file)->pending.append(static_cast<const char*>(buffer), static_cast<size_t>(bytes));
    if (Of(file)->pending.size() >= kWritePiece && !Flush(Of(file))) return -1;
    return bytes;
}

int MspackSeek(mspack_file* file, off_t offset, int mode) {
    int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR : SEEK_END;
    if (!Flush(Of(file))) return -1;
    return lseek(Of(file)->fd, offset, whence) < 0 ? -1 : 0;
}

off_t MspackTell(mspack_file* file) {
    off_t at = lseek(Of(file)->fd, 0, SEEK_CUR);
    return at < 0 ? -1 : at + static_cast<off_t>(Of(file)->pending.size());
}

void MspackMessage(mspack_file*, const char*, ...) {}
void* MspackAlloc(mspack_system*, size_t bytes) { return std::malloc(bytes); }
void MspackFree(void* memory) { std::free(memory); }
void MspackCopy(void* from, void* to, size_t bytes) { std::memmove(to, from, bytes); }

DWORD ReadKind(const std::string& host, SourceKind* kind) {
    int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrorFromErrno(errno);
    unsigned char header[kSzddHeaderSize];
    size_t got = 0;
    while (got < sizeof header) {
        ssize_t n = read(fd, header + got, sizeof header - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    kind->szdd = got >= sizeof kSzddMagic;
    for (size_t i = 0; kind->szdd && i < sizeof kSzddMagic; ++i) kind->szdd = header[i] == kSzddMagic[i];
    kind->complete = kind->szdd && got == kSzddHeaderSize;
    if (kind->complete)
        kind->length = static_cast<uint64_t>(header[10]) | static_cast<uint64_t>(header[11]) << 8 |
                       static_cast<uint64_t>(header[12]) << 16 | static_cast<uint64_t>(header[13]) << 24;
    return ERROR_SUCCESS;
}

// Expands `source` into the new file `out` with libmspack and checks the length the header
// states. Returns VIF_* bits, 0 when `out` holds the whole file.
DWORD Expand(const std::string& source, const std::string& out, const SourceKind& kind) {
    if (!kind.complete) return Fail(VIF_CANNOTREADSRC, kErrorInvalidData);
    Mspack system;
    system.base = {MspackOpen, MspackClose, MspackRead,  MspackWrite, MspackSeek,  MspackTell,
                   MspackMessage, MspackAlloc, MspackFree, MspackCopy, nullptr};
    msszdd_decompressor* expander = mspack_create_szdd_decompressor(&system.base);
    if (expander == nullptr) return Fail(VIF_OUTOFMEMORY, ERROR_NOT_ENOUGH_MEMORY);
    errno = 0;
    int result = expander->decompress(expander, source.c_str(), out.c_str());
    int writeErrno = system.writeError != 0 ? system.writeError : errno;
    mspack_destroy_szdd_decompressor(expander);
    // The last piece of output is written when the file is closed, after a successful run.
    if (result == MSPACK_ERR_OK && system.writeError != 0) result = MSPACK_ERR_WRITE;
    switch (result) {
    case MSPACK_ERR_OK: break;
    case MSPACK_ERR_NOMEMORY: return Fail(VIF_OUTOFMEMORY, ERROR_NOT_ENOUGH_MEMORY);
    case MSPACK_ERR_OPEN:
    case MSPACK_ERR_WRITE: {
        DWORD error = writeErrno != 0 ? ErrorFromErrno(writeErrno) : ERROR_WRITE_FAULT;
        return Fail(DestinationBits(error), error);
    }
    default: return Fail(VIF_CANNOTREADSRC, kErrorInvalidData);  // a damaged stream
    }
    // A cut-off or damaged stream decodes to some other length.
    struct stat st;
    if (stat(out.c_str(), &st) != 0 || static_cast<uint64_t>(st.st_size) != kind.length)
        return Fail(VIF_CANNOTREADSRC, kErrorInvalidData);
    return 0;
}

DWORD CopyUnchanged(const std::string& source, const std::string& out) {
    std::error_code failure;
    if (std::filesystem::copy_file(source, out, failure)) return 0;
    DWORD error = ErrorFromErrno(failure.value());
    return Fail(DestinationBits(error), error);
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
    // Flags, the current folder and the temp-file buffer do not change what is done: the
    // file is always installed, and no temp file is ever left to report.
    (void)flags;
    (void)currentFolder;
    (void)tempName;
    (void)tempNameLength;
    if (sourceName == nullptr || sourceFolder == nullptr) return Fail(VIF_CANNOTREADSRC, ERROR_INVALID_PARAMETER);
    if (destinationName == nullptr || destinationFolder == nullptr)
        return Fail(VIF_CANNOTCREATE, ERROR_INVALID_PARAMETER);

    Target source;
    error = ResolveTarget(JoinName(sourceFolder, sourceName).c_str(), &source);
    if (error == ERROR_SUCCESS && (!source.exists || source.isDir))
        error = source.parentIsDir ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    // The source is read through its share mode, as LZOpenFile opens it.
    if (error == ERROR_SUCCESS) error = CheckOpen(source.host, true, false, false, FILE_SHARE_READ | FILE_SHARE_WRITE);
    SourceKind kind;
    if (error == ERROR_SUCCESS) error = ReadKind(source.host, &kind);
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
    // A destination in use: held without sharing delete it cannot be deleted; held by handles
    // that all share delete it is deleted, but its name stays taken until they close, so the
    // new file cannot take it and the old one goes at the last close. No temp file is left.
    if (dest.exists) {
        error = MarkForDelete(dest.host);
        if (error == ERROR_IO_PENDING) return Fail(VIF_CANNOTRENAME, ERROR_ALREADY_EXISTS);
        if (error == ERROR_SHARING_VIOLATION) return Fail(VIF_CANNOTDELETE | VIF_SHARINGVIOLATION, error);
        if (error != ERROR_SUCCESS) return Fail(VIF_CANNOTDELETE | VIF_ACCESSVIOLATION, error);
    }

    // The file is made beside the destination and renamed over it only when complete, so a
    // failed expansion leaves neither a partial file nor a damaged old one.
    std::string partial = dest.parentHost + "/.vkver-" + std::to_string(getpid()) + ".tmp";
    unlink(partial.c_str());
    DWORD bits = kind.szdd ? Expand(source.host, partial, kind) : CopyUnchanged(source.host, partial);
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
