// Holds other programs keep on the machine's files (holds.txt beside the drives): one line a
// hold, "ACCESS SHARE KIND STATE<TAB>path below the machine folder", the letters r, w, d (or
// "-") for the access and the share mode (x for execute and a for attributes only in the
// access), KIND "open", "image" (a running program) or "driver" (loaded by the system at
// start), STATE "-" or "deleted".
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <sstream>

#include "emulator/files/file_system.h"
#include "emulator/machine/machine_state.h"

namespace platform::host {
namespace {

std::string HoldsFile() { return MachineDir() + "/holds.txt"; }

std::string Letters(bool r, bool w, bool d, bool x = false, bool a = false) {
    std::string text = std::string(r ? "r" : "") + (w ? "w" : "") + (d ? "d" : "") + (x ? "x" : "") + (a ? "a" : "");
    return text.empty() ? "-" : text;
}

bool Has(const std::string& letters, char c) { return letters.find(c) != std::string::npos; }

}  // namespace

std::vector<Hold> LoadHolds() {
    std::vector<Hold> holds;
    MachineLock lock;
    for (const auto& [fields, key] : ReadTabbedLines(HoldsFile())) {
        std::istringstream words(fields);
        std::string access, share, kind, state;
        words >> access >> share >> kind >> state;
        Hold h;
        h.key = key;
        h.read = Has(access, 'r');
        h.write = Has(access, 'w');
        h.del = Has(access, 'd');
        h.execute = Has(access, 'x');
        h.attributes = Has(access, 'a');
        h.share = (Has(share, 'r') ? FILE_SHARE_READ : 0) | (Has(share, 'w') ? FILE_SHARE_WRITE : 0) |
                  (Has(share, 'd') ? FILE_SHARE_DELETE : 0);
        h.driver = kind == "driver";
        h.image = kind == "image" || h.driver;
        h.deletePending = state == "deleted";
        holds.push_back(h);
    }
    return holds;
}

DWORD SaveHolds(const std::vector<Hold>& holds) {
    MachineLock lock;
    if (holds.empty()) return WriteSideFile(HoldsFile(), "");
    std::string text = "# Files other programs hold open: access, share mode, kind, state, path\n";
    for (const Hold& h : holds) {
        text += Letters(h.read, h.write, h.del, h.execute, h.attributes) + " " +
                Letters(h.share & FILE_SHARE_READ, h.share & FILE_SHARE_WRITE, h.share & FILE_SHARE_DELETE) +
                (h.driver ? " driver " : h.image ? " image " : " open ") + (h.deletePending ? "deleted" : "-") + "\t" + h.key + "\n";
    }
    return WriteSideFile(HoldsFile(), text);
}

DWORD ReleaseHolds(const std::string& host, HoldsEnd end) {
    MachineLock lock;
    std::vector<Hold> kept;
    std::vector<std::string> deleted;
    std::string key = host.empty() ? "" : MachineKey(host);
    bool released = false, driverKept = false;
    for (const Hold& h : LoadHolds()) {
        bool ends = end == HoldsEnd::kRestart || (!h.driver && (end == HoldsEnd::kFileClosed || h.image));
        if ((!key.empty() && h.key != key) || !ends) {
            driverKept = driverKept || (h.driver && (key.empty() || h.key == key));
            kept.push_back(h);
            continue;
        }
        released = true;
        if (h.deletePending) deleted.push_back(h.key);
    }
    if (!released) return driverKept && !key.empty() ? ERROR_ACCESS_DENIED : ERROR_NOT_FOUND;
    DWORD error = SaveHolds(kept);
    // A file deleted while held goes with its last hold.
    for (const std::string& gone : deleted) {
        bool stillHeld = false;
        for (const Hold& h : kept) stillHeld = stillHeld || h.key == gone;
        if (error != ERROR_SUCCESS || stillHeld) continue;
        std::string path = MachineDir() + "/" + gone;
        if (unlink(path.c_str()) != 0 && errno != ENOENT) return ErrorFromErrno(errno);
        error = ForgetAttributes(path);
    }
    return error;
}

void MoveHolds(const std::string& from, const std::string& to) {
    MachineLock lock;
    std::vector<Hold> holds = LoadHolds();
    std::string fromKey = MachineKey(from), toKey = MachineKey(to);
    bool moved = false;
    for (Hold& h : holds) {
        if (h.key != fromKey) continue;
        h.key = toKey;
        moved = true;
    }
    if (moved) SaveHolds(holds);
}

namespace {

// Records the hold `h` (its key aside) on the file at `windowsPath` when the holds allow it.
DWORD AddHold(const std::string& windowsPath, Hold h) {
    MachineLock lock;
    Target t;
    DWORD error = ResolveTarget(windowsPath.c_str(), &t);
    if (error != ERROR_SUCCESS) return error;
    if (!t.exists) return t.parentIsDir ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    if (t.isDir) return ERROR_ACCESS_DENIED;
    error = CheckOpen(t.host, h.read || h.execute, h.write, h.del, h.image ? FILE_SHARE_READ | FILE_SHARE_DELETE : h.share);
    if (error != ERROR_SUCCESS) return error;
    h.key = MachineKey(t.host);
    std::vector<Hold> holds = LoadHolds();
    holds.push_back(h);
    return SaveHolds(holds);
}

}  // namespace

DWORD HoldFile(const std::string& windowsPath, bool read, bool write, bool del, DWORD share, bool image) {
    Hold h;
    h.read = read || image;
    h.write = write && !image;
    h.del = del && !image;
    h.share = image ? 0 : share;
    h.image = image;
    return AddHold(windowsPath, h);
}

DWORD HoldFileWithAccess(const std::string& windowsPath, DWORD access, DWORD share) {
    DataAccess rights = DataAccessOf(access);
    Hold h;
    h.read = rights.read;
    h.write = rights.write;
    h.del = rights.del;
    h.execute = rights.execute;
    h.attributes = access != 0 && !rights.read && !rights.write && !rights.del && !rights.execute;
    h.share = share;
    return AddHold(windowsPath, h);
}

DWORD ReleaseHeldFiles(const std::string& windowsPath, bool imagesOnly) {
    HoldsEnd end = imagesOnly ? HoldsEnd::kProgramsEnd : HoldsEnd::kFileClosed;
    std::string host;
    if (!windowsPath.empty()) {
        Target t;
        DWORD error = ResolveTarget(windowsPath.c_str(), &t);
        if (error != ERROR_SUCCESS) return error;
        host = t.host;
    }
    return ReleaseHolds(host, end);
}

}  // namespace platform::host
