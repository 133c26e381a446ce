// Open files of the emulated machine: CreateFileA, ReadFile, WriteFile, CloseHandle, and the
// share modes that keep a file from being opened, deleted or renamed while it is open.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <memory>
#include <vector>

#include "emulator/files/file_system.h"
#include "emulator/machine/machine_state.h"
#include "platform/files.h"

namespace platform::host {
namespace {

// The data access rights: only handles with one of them take part in share checks. Execute
// counts as reading there, though it does not let ReadFile read. A handle with none of them (0,
// or attributes, extended attributes, SYNCHRONIZE, READ_CONTROL only) neither is refused by
// other handles' share modes nor refuses later opens.
const DWORD kReadAccess = GENERIC_READ | GENERIC_ALL | FILE_READ_DATA;
const DWORD kExecuteAccess = GENERIC_EXECUTE | GENERIC_ALL | FILE_EXECUTE;
const DWORD kWriteAccess = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;
const DWORD kDeleteAccess = DELETE | GENERIC_ALL;
// The flags and attributes CreateFileA models: the attributes kept beside the files, the two
// caching hints (which change nothing a caller can see) and delete-on-close.
const DWORD kModelledFlags = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                             FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN |
                             FILE_FLAG_RANDOM_ACCESS | FILE_FLAG_DELETE_ON_CLOSE;

struct OpenFile {
    int fd = -1;
    bool read = false;
    bool execute = false;
    bool write = false;
    bool del = false;
    DWORD share = 0;
    bool deletePending = false;  // deleted while open: it goes with its last handle
    bool deleteOnClose = false;  // FILE_FLAG_DELETE_ON_CLOSE: deleted when this handle closes
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

// Everything open on one file: this process's handles and the holds of other programs. `read`
// is reading or executing, as share checks count them.
struct Holder {
    bool read, write, del;
    DWORD share;
    bool image;
    bool deletePending;
    bool DataAccess() const { return read || write || del; }
};

std::vector<Holder> HoldersOf(const std::string& host, std::vector<OpenFile*>* own = nullptr,
                              std::vector<Hold>* holds = nullptr) {
    std::vector<Holder> holders;
    struct stat st;
    if (stat(host.c_str(), &st) != 0) return holders;
    for (const auto& [handle, f] : Files()) {
        if (f->dev != st.st_dev || f->ino != st.st_ino) continue;
        holders.push_back({f->read || f->execute, f->write, f->del, f->share, false, f->deletePending});
        if (own != nullptr) own->push_back(f.get());
    }
    std::string key = MachineKey(host);
    std::vector<Hold> all = LoadHolds();
    for (const Hold& h : all) {
        if (h.key != key) continue;
        holders.push_back({h.read || h.execute, h.write, h.del, h.share, h.image, h.deletePending});
    }
    if (holds != nullptr) *holds = all;
    return holders;
}

HANDLE Fail(DWORD error) {
    SetError(error);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

DataAccess DataAccessOf(DWORD access) {
    DataAccess a;
    a.read = (access & kReadAccess) != 0;
    a.execute = (access & kExecuteAccess) != 0;
    a.write = (access & kWriteAccess) != 0;
    a.del = (access & kDeleteAccess) != 0;
    return a;
}

DWORD CheckOpen(const std::string& host, bool read, bool write, bool del, DWORD share) {
    bool dataAccess = read || write || del;
    for (const Holder& h : HoldersOf(host)) {
        if (h.deletePending) return ERROR_ACCESS_DENIED;
        // A running program's image is mapped, not open: only writing it is refused.
        if (h.image) {
            if (write) return ERROR_SHARING_VIOLATION;
            continue;
        }
        if (!dataAccess || !h.DataAccess()) continue;
        if ((read && !(h.share & FILE_SHARE_READ)) || (write && !(h.share & FILE_SHARE_WRITE)) ||
            (del && !(h.share & FILE_SHARE_DELETE)) || (h.read && !(share & FILE_SHARE_READ)) ||
            (h.write && !(share & FILE_SHARE_WRITE)) || (h.del && !(share & FILE_SHARE_DELETE)))
            return ERROR_SHARING_VIOLATION;
    }
    return ERROR_SUCCESS;
}

bool DeletePending(const std::string& host) {
    for (const Holder& h : HoldersOf(host))
        if (h.deletePending) return true;
    return false;
}

DWORD MarkForDelete(const std::string& host) {
    std::vector<OpenFile*> own;
    std::vector<Hold> holds;
    std::vector<Holder> holders = HoldersOf(host, &own, &holds);
    if (holders.empty()) return ERROR_SUCCESS;
    for (const Holder& h : holders) {
        if (h.image || h.deletePending) return ERROR_ACCESS_DENIED;
        if (h.DataAccess() && !(h.share & FILE_SHARE_DELETE)) return ERROR_SHARING_VIOLATION;
    }
    // Every holder shares delete, or has no data access: the name stays taken until the last
    // of them closes.
    for (OpenFile* f : own) f->deletePending = true;
    std::string key = MachineKey(host);
    bool marked = false;
    for (Hold& h : holds) {
        if (h.key != key) continue;
        h.deletePending = true;
        marked = true;
    }
    if (marked) {
        DWORD error = SaveHolds(holds);
        if (error != ERROR_SUCCESS) return error;
    }
    return ERROR_IO_PENDING;
}

void MoveOpenFiles(const std::string& from, const std::string& to) {
    for (auto& [handle, f] : Files()) {
        if (f->host == from) f->host = to;
        else if (f->host.compare(0, from.size() + 1, from + "/") == 0) f->host = to + f->host.substr(from.size());
    }
}

DWORD CheckRename(const std::string& host, bool replaced) {
    struct stat st;
    if (stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        // A folder cannot be renamed or removed while a file below it is open.
        for (const auto& [handle, f] : Files())
            if (f->host.size() > host.size() && f->host.compare(0, host.size(), host) == 0 && f->host[host.size()] == '/')
                return ERROR_SHARING_VIOLATION;
        return ERROR_SUCCESS;
    }
    for (const Holder& h : HoldersOf(host)) {
        if (h.deletePending) return ERROR_ACCESS_DENIED;
        // An image may be renamed, never replaced; a file open elsewhere, even without data
        // access, is never replaced. A handle without data access does not keep the file
        // itself from being renamed.
        if (replaced) return h.image || !h.DataAccess() || (h.share & FILE_SHARE_DELETE) ? ERROR_ACCESS_DENIED : ERROR_SHARING_VIOLATION;
        if (!h.image && h.DataAccess() && !(h.share & FILE_SHARE_DELETE)) return ERROR_SHARING_VIOLATION;
    }
    return ERROR_SUCCESS;
}

}  // namespace platform::host

namespace platform {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD disposition, DWORD flags, HANDLE) {
    using namespace host;
    DWORD error = 0;
    if (Injected(Call::CreateFileA, &error)) return Fail(error);
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return Fail(ERROR_INVALID_PARAMETER);
    // What the machine does not model it refuses rather than ignores.
    if (flags & ~kModelledFlags) return Fail(ERROR_NOT_SUPPORTED);
    bool deleteOnClose = (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
    Target t;
    error = ResolveTarget(name, &t);
    if (error != ERROR_SUCCESS) return Fail(error);
    if (t.win.trailingSeparator && !t.isDir) return Fail(ERROR_INVALID_NAME);  // no file name ends so
    if (!t.parentIsDir) return Fail(ERROR_PATH_NOT_FOUND);
    if (t.isDir || t.win.parts.empty()) return Fail(ERROR_ACCESS_DENIED);
    // The 95/98/Me family knows no FILE_SHARE_DELETE.
    if (Config().platformId == 1 && (shareMode & FILE_SHARE_DELETE)) return Fail(ERROR_INVALID_PARAMETER);
    DataAccess rights = DataAccessOf(access);
    bool read = rights.read, execute = rights.execute, write = rights.write;
    // A handle that deletes its file when it closes is opened with DELETE access.
    bool del = rights.del || deleteOnClose;
    if (disposition == TRUNCATE_EXISTING && !write) return Fail(ERROR_INVALID_PARAMETER);
    if (!t.exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING))
        return Fail(ERROR_FILE_NOT_FOUND);
    if (t.exists && disposition == CREATE_NEW) return Fail(ERROR_FILE_EXISTS);
    bool creates = !t.exists;
    bool truncates = t.exists && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
    if (write || del || creates || truncates) {
        error = CheckWriteAccess(t.win);
        if (error != ERROR_SUCCESS) return Fail(error);
    }
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    DWORD existing = t.exists ? ReadAttributes(t.host, false) : 0;
    if ((existing & FILE_ATTRIBUTE_READONLY) && (write || truncates || deleteOnClose)) return Fail(ERROR_ACCESS_DENIED);
    // Replacing a hidden or system file needs the same attributes, as on Windows.
    if (disposition == CREATE_ALWAYS && (existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) & ~flags))
        return Fail(ERROR_ACCESS_DENIED);
    if (t.exists) {
        error = CheckOpen(t.host, read || execute, write || truncates, del, shareMode);
        if (error != ERROR_SUCCESS) return Fail(error);
    }
    struct stat st;

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
    file->execute = execute;
    file->write = write;
    file->del = del;
    file->share = shareMode;
    file->deleteOnClose = deleteOnClose;
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
    // A write the drive has no room for writes nothing, as on a full disk.
    if (error == ERROR_SUCCESS) error = RoomToWrite(f->host, f->fd, size);
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
        std::unique_ptr<OpenFile> f = std::move(it->second);
        Files().erase(it);
        close(f->fd);
        // A file deleted while open goes with its last handle; a handle opened to delete its
        // file on close deletes it now, or marks it for the handles still open.
        if (f->deleteOnClose && !f->deletePending && MarkForDelete(f->host) == ERROR_SUCCESS)
            f->deletePending = true;
        if (f->deletePending && HoldersOf(f->host).empty() && unlink(f->host.c_str()) == 0) ForgetAttributes(f->host);
        return TRUE;
    }
    if (CloseOtherHandle(handle)) return TRUE;
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
}

}  // namespace platform
