// Open files of the emulated machine: CreateFileA, ReadFile, WriteFile, CloseHandle, and the
// share modes that keep a file from being opened, deleted or renamed while it is open.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <memory>

#include "platform/host/files/file_system.h"
#include "platform/host/machine/machine_state.h"
#include "platform/files.h"

namespace platform::host {
namespace {

const DWORD kReadAccess = GENERIC_READ | 0x10000000u /* GENERIC_ALL */ | 0x1 /* FILE_READ_DATA */;
const DWORD kWriteAccess = GENERIC_WRITE | 0x10000000u | 0x2 /* FILE_WRITE_DATA */ | 0x4 /* APPEND */;

struct OpenFile {
    int fd = -1;
    bool read = false;
    bool write = false;
    DWORD share = 0;
    dev_t dev = 0;
    ino_t ino = 0;
    std::string host;  // where it was opened, for the folders above it
};

// The open files; a handle is the address of its OpenFile.
std::map<HANDLE, std::unique_ptr<OpenFile>>& Files() {
    static std::map<HANDLE, std::unique_ptr<OpenFile>> files;
    return files;
}

OpenFile* Lookup(HANDLE handle) {
    auto it = Files().find(handle);
    return it == Files().end() ? nullptr : it->second.get();
}

// True when an open of the file `st` with this access and share mode collides with one
// already open (each side must share what the other one does).
bool SharingConflict(const struct stat& st, bool read, bool write, DWORD share) {
    for (const auto& [handle, f] : Files()) {
        if (f->dev != st.st_dev || f->ino != st.st_ino) continue;
        if ((read && !(f->share & FILE_SHARE_READ)) || (write && !(f->share & FILE_SHARE_WRITE)) ||
            (f->read && !(share & FILE_SHARE_READ)) || (f->write && !(share & FILE_SHARE_WRITE)))
            return true;
    }
    return false;
}

HANDLE Fail(DWORD error) {
    SetError(error);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

bool OpenWithoutDeleteSharing(const std::string& host) {
    struct stat st;
    if (stat(host.c_str(), &st) != 0) return false;
    for (const auto& [handle, f] : Files()) {
        if (S_ISDIR(st.st_mode)) {
            // A folder cannot be renamed or removed while a file below it is open.
            if (f->host.size() > host.size() && f->host.compare(0, host.size(), host) == 0 &&
                f->host[host.size()] == '/')
                return true;
        } else if (f->dev == st.st_dev && f->ino == st.st_ino && !(f->share & FILE_SHARE_DELETE)) {
            return true;
        }
    }
    return false;
}

}  // namespace platform::host

namespace platform {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD disposition, DWORD flags, HANDLE) {
    using namespace host;
    DWORD error = 0;
    if (Injected(Call::CreateFileA, &error)) return Fail(error);
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return Fail(ERROR_INVALID_PARAMETER);
    Target t;
    error = ResolveTarget(name, &t);
    if (error != ERROR_SUCCESS) return Fail(error);
    if (t.win.trailingSeparator && !t.isDir) return Fail(ERROR_INVALID_NAME);  // no file name ends so
    if (!t.parentIsDir) return Fail(ERROR_PATH_NOT_FOUND);
    if (t.isDir || t.win.parts.empty()) return Fail(ERROR_ACCESS_DENIED);
    bool read = (access & kReadAccess) != 0;
    bool write = (access & kWriteAccess) != 0;
    if (disposition == TRUNCATE_EXISTING && !write) return Fail(ERROR_INVALID_PARAMETER);
    if (!t.exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING))
        return Fail(ERROR_FILE_NOT_FOUND);
    if (t.exists && disposition == CREATE_NEW) return Fail(ERROR_FILE_EXISTS);
    bool creates = !t.exists;
    bool truncates = t.exists && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
    if (write || creates || truncates) {
        error = CheckSystemFolderAccess(t.win);
        if (error != ERROR_SUCCESS) return Fail(error);
    }
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    DWORD existing = t.exists ? ReadAttributes(t.host, false) : 0;
    if ((existing & FILE_ATTRIBUTE_READONLY) && (write || truncates)) return Fail(ERROR_ACCESS_DENIED);
    // Replacing a hidden or system file needs the same attributes, as on Windows.
    if (disposition == CREATE_ALWAYS && (existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) & ~flags))
        return Fail(ERROR_ACCESS_DENIED);
    struct stat st;
    if (t.exists && stat(t.host.c_str(), &st) == 0 && SharingConflict(st, read, write, shareMode))
        return Fail(ERROR_SHARING_VIOLATION);

    int mode = write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY;
    if (creates) mode |= O_CREAT | O_EXCL;
    if (truncates) mode |= O_TRUNC;
    int fd = open(t.host.c_str(), mode | O_CLOEXEC, 0666);
    if (fd < 0) return Fail(ErrorFromErrno(errno));
    if (fstat(fd, &st) != 0) {
        close(fd);
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (creates || disposition == CREATE_ALWAYS) {
        error = WriteAttributes(t.host, (existing & kept) | (flags & kept) | FILE_ATTRIBUTE_ARCHIVE);
        if (error != ERROR_SUCCESS) {
            close(fd);
            if (creates) unlink(t.host.c_str());  // no file without the attributes asked for
            return Fail(error);
        }
    }

    auto file = std::make_unique<OpenFile>();
    file->fd = fd;
    file->read = read;
    file->write = write;
    file->share = shareMode;
    file->dev = st.st_dev;
    file->ino = st.st_ino;
    file->host = t.host;
    HANDLE handle = file.get();
    Files()[handle] = std::move(file);
    bool opensExisting = t.exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
    SetError(opensExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED) {
    using namespace host;
    if (written != nullptr) *written = 0;
    DWORD error = 0;
    if (InjectedFailure(Call::WriteFile)) return FALSE;
    OpenFile* f = Lookup(file);
    if (f == nullptr) error = ERROR_INVALID_HANDLE;
    else if (!f->write) error = ERROR_ACCESS_DENIED;
    else if (data == nullptr && size > 0) error = ERROR_INVALID_PARAMETER;
    size_t done = 0;
    if (error == ERROR_SUCCESS) {
        int failure = WriteAll(f->fd, data, size, &done);
        if (failure != 0) error = ErrorFromErrno(failure);
    }
    if (written != nullptr) *written = static_cast<DWORD>(done);
    if (error != ERROR_SUCCESS) {
        SetError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID data, DWORD size, LPDWORD read, LPOVERLAPPED) {
    using namespace host;
    if (read != nullptr) *read = 0;
    DWORD error = 0;
    if (InjectedFailure(Call::ReadFile)) return FALSE;
    OpenFile* f = Lookup(file);
    if (f == nullptr) error = ERROR_INVALID_HANDLE;
    else if (!f->read) error = ERROR_ACCESS_DENIED;
    else if (data == nullptr && size > 0) error = ERROR_INVALID_PARAMETER;
    char* bytes = static_cast<char*>(data);
    DWORD done = 0;
    while (error == ERROR_SUCCESS && done < size) {
        ssize_t n = ::read(f->fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = ErrorFromErrno(errno);
        if (n <= 0) break;  // end of file: success with what was read
        done += static_cast<DWORD>(n);
    }
    if (read != nullptr) *read = done;
    if (error != ERROR_SUCCESS) {
        SetError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    using namespace host;
    if (InjectedFailure(Call::CloseHandle)) return FALSE;
    auto it = Files().find(handle);
    if (it != Files().end()) {
        close(it->second->fd);
        Files().erase(it);
        return TRUE;
    }
    if (CloseOtherHandle(handle)) return TRUE;
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
}

}  // namespace platform
