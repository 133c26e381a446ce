// The lock that serialises the processes working on one machine (updaters, tools, tests):
// flock on <machine>/machine.lock, taken once per process however deeply calls nest.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "emulator/machine/machine_state.h"

namespace platform::host {
namespace {

struct LockState {
    int depth = 0;
    int fd = -1;
};

LockState& State() {
    static LockState state;
    return state;
}

}  // namespace

MachineLock::MachineLock() {
    LockState& s = State();
    if (s.depth++ > 0) return;  // this process holds it already
    if (!MachineIsOpen()) return;
    // Opened anew for every hold: a forked child never shares its parent's lock.
    std::string path = MachineDir() + "/machine.lock";
    s.fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (s.fd < 0) return;
    while (flock(s.fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            close(s.fd);
            s.fd = -1;
            return;
        }
    }
}

MachineLock::~MachineLock() {
    LockState& s = State();
    if (--s.depth > 0 || s.fd < 0) return;
    flock(s.fd, LOCK_UN);
    close(s.fd);
    s.fd = -1;
}

bool MachineLock::held() const { return State().fd >= 0; }

int WriteAll(int fd, const void* data, size_t size, size_t* written) {
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    int failure = 0;
    while (done < size && failure == 0) {
        ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) failure = n < 0 ? errno : ENOSPC;
        else done += static_cast<size_t>(n);
    }
    if (written != nullptr) *written = done;
    return failure;
}

// Writes `bytes` as `path` through a temporary file of its own, made durable before it
// replaces the old file, so that any reader sees the old file or the new one whole.
DWORD ReplaceFileDurably(const std::string& path, const std::string& bytes) {
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string pattern = path + ".XXXXXX";
    int fd = mkstemp(&pattern[0]);
    if (fd < 0) return ErrorFromErrno(errno);
    int failure = WriteAll(fd, bytes.data(), bytes.size());
    DWORD error = failure == 0 ? ERROR_SUCCESS : ErrorFromErrno(failure);
    if (error == ERROR_SUCCESS && fchmod(fd, 0644) != 0) error = ErrorFromErrno(errno);
    if (error == ERROR_SUCCESS && fsync(fd) != 0) error = ErrorFromErrno(errno);
    if (close(fd) != 0 && error == ERROR_SUCCESS) error = ErrorFromErrno(errno);
    if (error == ERROR_SUCCESS && rename(pattern.c_str(), path.c_str()) != 0) error = ErrorFromErrno(errno);
    if (error != ERROR_SUCCESS) {
        unlink(pattern.c_str());
        return error;
    }
    int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return ErrorFromErrno(errno);
    if (fsync(dirFd) != 0) error = ErrorFromErrno(errno);
    close(dirFd);
    return error;
}

std::vector<std::pair<std::string, std::string>> ReadTabbedLines(const std::string& path) {
    std::vector<std::pair<std::string, std::string>> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        size_t tab = line.find('\t');
        if (line.empty() || line[0] == '#' || tab == std::string::npos) continue;
        lines.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    return lines;
}

}  // namespace platform::host
