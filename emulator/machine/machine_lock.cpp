// The lock that serialises the processes working on one machine (updaters, tools, tests):
// flock on <machine>/machine.lock, taken once per process however deeply calls nest.
//
// machine.lock also counts the writes of the machine's side files (attributes.txt, holds.txt,
// longnames.txt), which are made only here and only under the lock: a process keeps the lines
// it read of a side file and reads them again only when the count has moved since. The count
// is mapped shared, so reading it asks nothing of the host.
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "emulator/machine/machine_state.h"

namespace platform::host {
namespace {

using Lines = std::vector<std::pair<std::string, std::string>>;

struct LockState {
    int depth = 0;
    // machine.lock, open for the machine it was opened for: another machine opens its own.
    int fd = -1;
    std::string dir;
    bool locked = false;
    // The count of side-file writes: the first 8 bytes of machine.lock, little-endian, shared
    // with every process that maps it; nullptr when it could not be mapped (`countError`).
    unsigned char* count = nullptr;
    int countError = 0;
    std::map<std::string, std::pair<uint64_t, Lines>> kept;  // side file: (count when read, lines)
};

const size_t kCountBytes = 8;

void CloseLockFile(LockState& s) {
    if (s.count != nullptr) munmap(s.count, kCountBytes);
    s.count = nullptr;
    if (s.fd >= 0) close(s.fd);
    s.fd = -1;
    s.locked = false;
    s.kept.clear();
}

// Maps the count of machine.lock, made 8 bytes long first if it is shorter.
void MapCount(LockState& s) {
    struct stat st;
    s.countError = 0;
    if (fstat(s.fd, &st) != 0 || (st.st_size < static_cast<off_t>(kCountBytes) && ftruncate(s.fd, kCountBytes) != 0)) {
        s.countError = errno;
        return;
    }
    void* mapped = mmap(nullptr, kCountBytes, PROT_READ | PROT_WRITE, MAP_SHARED, s.fd, 0);
    if (mapped == MAP_FAILED) {
        s.countError = errno;
        return;
    }
    s.count = static_cast<unsigned char*>(mapped);
}

uint64_t Count(const LockState& s) {
    uint64_t value = 0;
    for (size_t i = kCountBytes; i-- > 0;) value = value << 8 | s.count[i];
    return value;
}

LockState& State() {
    static LockState* state = [] {
        // A forked child shares its parent's open machine.lock, and with it the parent's lock:
        // it closes its copy (which leaves the parent's lock as it is) and opens its own.
        pthread_atfork(nullptr, nullptr, [] { CloseLockFile(*state); });
        return new LockState;  // outlives every static destructor
    }();
    return *state;
}

Lines ParseLines(std::istream& in) {
    Lines lines;
    std::string line;
    while (std::getline(in, line)) {
        size_t tab = line.find('\t');
        if (line.empty() || line[0] == '#' || tab == std::string::npos) continue;
        lines.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    return lines;
}

Lines ReadLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return ParseLines(in);
}

}  // namespace

MachineLock::MachineLock() {
    LockState& s = State();
    if (s.depth++ > 0) return;  // this process holds it already
    if (!MachineIsOpen()) return;
    if (s.fd >= 0 && s.dir != MachineDir()) CloseLockFile(s);
    if (s.fd < 0) {
        std::string path = MachineDir() + "/machine.lock";
        s.fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (s.fd < 0) return;
        s.dir = MachineDir();
        MapCount(s);
    }
    while (flock(s.fd, LOCK_EX) != 0) {
        if (errno != EINTR) return;
    }
    s.locked = true;
}

MachineLock::~MachineLock() {
    LockState& s = State();
    if (--s.depth > 0 || !s.locked) return;
    flock(s.fd, LOCK_UN);
    s.locked = false;
}

bool MachineLock::held() const { return State().locked; }

void ForgetMachineLock() {
    LockState& s = State();
    if (s.depth == 0) CloseLockFile(s);
    s.kept.clear();
}

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
    LockState& s = State();
    if (!s.locked || s.count == nullptr) return ReadLines(path);
    auto it = s.kept.find(path);
    if (it != s.kept.end() && it->second.first == Count(s)) return it->second.second;
    Lines lines = ReadLines(path);
    s.kept[path] = {Count(s), lines};
    return lines;
}

DWORD WriteSideFile(const std::string& path, const std::string& text) {
    LockState& s = State();
    if (s.locked && s.count == nullptr) return ErrorFromErrno(s.countError);  // others could not know
    if (s.locked) {
        auto it = s.kept.find(path);
        std::istringstream lines(text);
        if (it != s.kept.end() && it->second.first == Count(s) && it->second.second == ParseLines(lines))
            return ERROR_SUCCESS;  // the file holds these lines already
        // Counted before the file changes: a reader that finds the old count finds the old file.
        uint64_t writes = Count(s) + 1;
        for (size_t i = 0; i < kCountBytes; ++i) s.count[i] = static_cast<unsigned char>(writes >> (8 * i));
    }
    s.kept.erase(path);
    if (!text.empty()) return ReplaceFileDurably(path, text);
    if (std::remove(path.c_str()) != 0 && errno != ENOENT) return ErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

}  // namespace platform::host
