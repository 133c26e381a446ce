// File attributes on the emulated machine: SetFileAttributesA, GetFileAttributesA and the
// store that keeps the READONLY/HIDDEN/SYSTEM/ARCHIVE bits in attributes.txt beside the drives.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "emulator/files/file_system.h"
#include "emulator/machine/machine_state.h"
#include "platform/files.h"

namespace platform::host {
namespace {

const DWORD kKeptBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                        FILE_ATTRIBUTE_ARCHIVE;

using Store = std::map<std::string, DWORD>;

std::string StoreFile() { return MachineDir() + "/attributes.txt"; }

std::string Key(const std::string& host) { return MachineKey(host); }

bool Below(const std::string& key, const std::string& folder) {
    return key.size() > folder.size() && key.compare(0, folder.size(), folder) == 0 &&
           key[folder.size()] == '/';
}

Store Load() {
    Store store;
    for (const auto& [hex, key] : ReadTabbedLines(StoreFile()))
        store[key] = static_cast<DWORD>(std::strtoul(hex.c_str(), nullptr, 16)) & kKeptBits;
    return store;
}

// Writes the store whole (durably, beside the old file and renamed over it); entries of paths
// that no longer exist are dropped. ERROR_SUCCESS or the Windows error of the failure.
DWORD Save(const Store& store) {
    std::string path = StoreFile();
    std::ostringstream text;
    text << "# Windows attributes (hex) of files of this machine, by path below the machine folder\n";
    bool any = false;
    for (const auto& [key, bits] : store) {
        struct stat st;
        if (lstat((MachineDir() + "/" + key).c_str(), &st) != 0) continue;
        char hex[16];
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(bits));
        text << hex << '\t' << key << '\n';
        any = true;
    }
    return WriteSideFile(path, any ? text.str() : "");
}

}  // namespace

std::string MachineKey(const std::string& host) {
    const std::string& dir = MachineDir();
    if (dir.empty() || host.size() <= dir.size() + 1 || host.compare(0, dir.size(), dir) != 0 ||
        host[dir.size()] != '/')
        return "";
    return host.substr(dir.size() + 1);
}

DWORD ReadAttributes(const std::string& host, bool isDir) {
    MachineLock lock;
    Store store = Load();
    auto it = store.find(Key(host));
    DWORD bits = it != store.end() ? it->second : isDir ? 0 : FILE_ATTRIBUTE_ARCHIVE;
    if (isDir) return bits | FILE_ATTRIBUTE_DIRECTORY;
    return bits == 0 ? FILE_ATTRIBUTE_NORMAL : bits;
}

DWORD WriteAttributes(const std::string& host, DWORD attributes) {
    std::string key = Key(host);
    if (key.empty()) return ERROR_ACCESS_DENIED;
    MachineLock lock;
    struct stat st;
    bool isDir = stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    DWORD bits = attributes & kKeptBits;
    Store store = Load();
    if (bits == (isDir ? 0 : FILE_ATTRIBUTE_ARCHIVE))
        store.erase(key);
    else
        store[key] = bits;
    return Save(store);
}

DWORD ForgetAttributes(const std::string& host) {
    std::string key = Key(host);
    MachineLock lock;
    Store store = Load();
    bool changed = false;
    for (auto it = store.begin(); it != store.end();) {
        if (it->first == key || Below(it->first, key)) {
            it = store.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    return changed ? Save(store) : ERROR_SUCCESS;
}

DWORD MoveAttributes(const std::string& from, const std::string& to) {
    std::string a = Key(from), b = Key(to);
    if (a.empty() || b.empty() || a == b) return ERROR_SUCCESS;
    MachineLock lock;
    Store store = Load(), moved;
    for (const auto& [key, bits] : store) {
        if (key == b || Below(key, b)) continue;  // replaced by what moves there
        if (key == a)
            moved[b] = bits;
        else if (Below(key, a))
            moved[b + key.substr(a.size())] = bits;
        else
            moved[key] = bits;
    }
    return Save(moved);
}

DWORD CopyAttributes(const std::string& from, const std::string& to) {
    std::string b = Key(to);
    if (b.empty()) return ERROR_SUCCESS;
    MachineLock lock;
    Store store = Load();
    auto it = store.find(Key(from));
    if (it != store.end())
        store[b] = it->second;
    else
        store.erase(b);
    return Save(store);
}

}  // namespace platform::host

namespace platform {

BOOL SetFileAttributesA(LPCSTR name, DWORD attributes) {
    DWORD error = 0;
    if (host::InjectedFailure(host::Call::SetFileAttributesA)) return FALSE;
    host::Target t;
    error = host::ResolveTarget(name, &t);
    if (error == ERROR_SUCCESS && !t.exists)
        error = t.parentIsDir ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    if (error == ERROR_SUCCESS) error = host::CheckWriteAccess(t.win);
    if (error == ERROR_SUCCESS) error = host::WriteAttributes(t.host, attributes);
    if (error != ERROR_SUCCESS) {
        host::SetError(error);
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR name) {
    DWORD error = 0;
    if (host::InjectedFailure(host::Call::GetFileAttributesA)) return INVALID_FILE_ATTRIBUTES;
    host::Target t;
    error = host::ResolveTarget(name, &t);
    if (error == ERROR_SUCCESS && !t.exists)
        error = t.parentIsDir ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    if (error != ERROR_SUCCESS) {
        host::SetError(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    return host::ReadAttributes(t.host, t.isDir);
}

}  // namespace platform
