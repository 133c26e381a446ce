// Windows paths of the emulated machine: parsing, and mapping to the host folder drive_<x>.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "emulator/files/file_system.h"

namespace platform::host {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Checks one raw component: no control or reserved characters (wildcards only when allowed),
// no lead byte without its trail byte, and convertible to UTF-8.
bool ValidComponent(const std::string& part, bool wildcards) {
    for (size_t i = 0; i < part.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(part[i]);
        if (IsLeadByte(c)) {
            if (i + 1 >= part.size()) return false;
            ++i;  // the trail byte may be any value, 0x5C and 0x7C included
            continue;
        }
        // A search pattern may hold the DOS wildcards '<', '>' and '"' besides '*' and '?'.
        bool wildcard = std::strchr("*?<>\"", c) != nullptr;
        if (c < 0x20 || (wildcard && !wildcards) || c == ':' || c == '|') return false;
    }
    std::string utf8;
    return AnsiToUtf8(part, &utf8);
}

// The entry of host folder `dir` that names `part` (machine code page): the exact spelling if
// it exists, else the first entry whose name, or alias, is equal without regard to case.
// False when there is none. `mode` gets the entry's type when it is known, else 0. `first`:
// the first lookup of a path, which takes in the host's reports of changes.
bool FindEntry(const std::string& dir, const std::string& part, bool first, std::string* entry, mode_t* mode) {
    switch (FindKeptEntry(dir, part, first, entry, mode)) {
    case KeptAnswer::kFound: return true;
    case KeptAnswer::kMissing: return false;
    case KeptAnswer::kNotKept: break;
    }
    std::string host;
    struct stat st;
    *mode = 0;
    if (HostEntryName(part, &host) == ERROR_SUCCESS && lstat((dir + "/" + host).c_str(), &st) == 0) {
        *entry = host;
        *mode = st.st_mode;
        return true;
    }
    return PickEntry(FolderEntriesNamed(dir, part), part, entry);
}

// Whether host path `path` is a folder, from the type an lstat of it gave (0: not known), which
// answers for anything but a link without asking the host again.
bool IsFolder(const std::string& path, mode_t mode) {
    if (mode != 0 && !S_ISLNK(mode)) return S_ISDIR(mode);
    return IsDirectory(path);
}

// MapWindowsPath, and whether the mapped folder is known to be a folder (`isDir`).
DWORD MapFolders(const WindowsPath& path, size_t count, std::string* hostPath, bool* isDir) {
    if (!MachineIsOpen()) return ERROR_PATH_NOT_FOUND;
    std::string dir = DriveFolder(path.drive);
    if (count > path.parts.size()) count = path.parts.size();
    bool matching = true;
    mode_t mode = S_IFDIR;
    for (size_t i = 0; i < count; ++i) {
        std::string entry;
        if (matching && FindEntry(dir, path.parts[i], i == 0, &entry, &mode)) {
            dir += "/" + entry;
            continue;
        }
        // A drive whose first component was found exists; otherwise it is asked.
        if (i == 0 && !IsDirectory(dir)) return ERROR_PATH_NOT_FOUND;
        matching = false;  // below a missing component nothing exists
        DWORD error = HostEntryName(path.parts[i], &entry);
        if (error != ERROR_SUCCESS) return error;
        dir += "/" + entry;
    }
    if (count == 0 && !IsDirectory(dir)) return ERROR_PATH_NOT_FOUND;
    *isDir = matching && IsFolder(dir, mode);
    *hostPath = dir;
    return ERROR_SUCCESS;
}

}  // namespace

std::vector<std::string> SplitCharacters(const std::string& text) {
    std::vector<std::string> chars;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t n = IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
        chars.push_back(text.substr(i, n));
        i += n - 1;
    }
    return chars;
}

std::string WindowsPath::Text() const {
    std::string text(1, drive);
    text += ":\\";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += '\\';
        text += parts[i];
    }
    return text;
}

DWORD ParseWindowsPath(const std::string& path, bool wildcardLast, WindowsPath* out) {
    WindowsPath result;
    if (path.empty()) return ERROR_PATH_NOT_FOUND;
    // The ANSI calls take paths of fewer than MAX_PATH characters.
    std::u16string units;
    if (AnsiToUtf16(path, &units) ? units.size() >= MAX_PATH : path.size() >= MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE;
    size_t i = 0;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return ERROR_BAD_NETPATH;
    if (path.size() >= 2 && path[1] == ':') {
        char d = path[0];
        if (d >= 'a' && d <= 'z') d = static_cast<char>(d - 'a' + 'A');
        if (d < 'A' || d > 'Z') return ERROR_INVALID_NAME;
        result.drive = d;
        i = 2;  // "C:x" is relative to the current folder of C:, which is its root
    }
    // Raw components, split at separators that are not the trail byte of a double-byte character.
    std::vector<std::string> raw(1);
    for (; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (IsLeadByte(c) && i + 1 < path.size()) {
            raw.back() += path.substr(i, 2);
            ++i;
        } else if (IsSeparator(path[i])) {
            raw.emplace_back();
        } else {
            raw.back() += path[i];
        }
    }
    result.trailingSeparator = raw.size() > 1 && raw.back().empty();
    // Windows drops trailing dots and spaces of the last component, and one trailing dot of
    // every other ("C:\a.\b" is "C:\a\b"); "." and ".." and names of dots alone keep theirs.
    for (size_t k = 0; k < raw.size(); ++k) {
        std::string& part = raw[k];
        if (part == "." || part == "..") continue;
        if (k + 1 == raw.size()) {
            while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
        } else if (part.find_first_not_of('.') != std::string::npos && part.back() == '.' &&
                   part[part.size() - 2] != '.') {
            part.pop_back();
        }
    }
    for (size_t k = 0; k < raw.size(); ++k) {
        const std::string& part = raw[k];
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!result.parts.empty()) result.parts.pop_back();
            continue;
        }
        if (!ValidComponent(part, wildcardLast && k + 1 == raw.size())) return ERROR_INVALID_NAME;
        std::u16string name;  // 255 characters (UTF-16 units) per name
        if (AnsiToUtf16(part, &name) ? name.size() > 255 : part.size() > 255) return ERROR_FILENAME_EXCED_RANGE;
        result.parts.push_back(part);
    }
    *out = result;
    return ERROR_SUCCESS;
}

DWORD MapWindowsPath(const WindowsPath& path, size_t count, std::string* hostPath) {
    bool isDir = false;
    return MapFolders(path, count, hostPath, &isDir);
}

DWORD ToHostPath(const std::string& windowsPath, std::string* hostPath) {
    WindowsPath path;
    DWORD error = ParseWindowsPath(windowsPath, false, &path);
    if (error != ERROR_SUCCESS) return error;
    return MapWindowsPath(path, path.parts.size(), hostPath);
}

DWORD ResolveTarget(LPCSTR name, Target* target) {
    if (name == nullptr) return ERROR_INVALID_PARAMETER;
    Target t;
    DWORD error = ParseWindowsPath(name, false, &t.win);
    if (error != ERROR_SUCCESS) return error;
    size_t n = t.win.parts.size();
    error = MapFolders(t.win, n == 0 ? 0 : n - 1, &t.parentHost, &t.parentIsDir);
    if (error != ERROR_SUCCESS) return error;
    // What the lookups learnt of the target's type answers unless it is a link or unknown.
    mode_t mode = t.parentIsDir ? S_IFDIR : 0;
    bool found = t.parentIsDir;
    if (n == 0) {
        t.host = t.leafHost = t.parentHost;
    } else {
        std::string leaf, entry;
        error = HostEntryName(t.win.parts.back(), &leaf);
        if (error != ERROR_SUCCESS) return error;
        t.leafHost = t.parentHost + "/" + leaf;
        found = t.parentIsDir && FindEntry(t.parentHost, t.win.parts.back(), n == 1, &entry, &mode);
        t.host = found ? t.parentHost + "/" + entry : t.leafHost;
    }
    struct stat st;
    if (!t.parentIsDir) {
        t.exists = false;  // nothing lies below what is not a folder
    } else if (!found) {
        t.exists = false;  // neither the spelling nor any name of the folder
    } else if (mode != 0 && !S_ISLNK(mode)) {
        t.exists = true;
    } else {
        t.exists = stat(t.host.c_str(), &st) == 0;
        mode = t.exists ? st.st_mode : 0;
    }
    t.isDir = t.exists && S_ISDIR(mode);
    if (t.win.trailingSeparator && t.exists && !t.isDir) {
        // "file.txt\" is the nameless entry of a folder "file.txt" that does not exist.
        t.fileWithSeparator = true;
        t.exists = false;
        t.parentIsDir = false;
    }
    *target = t;
    return ERROR_SUCCESS;
}

namespace {

// True when `path` is `folder` (a Windows path of the machine) or lies inside it.
bool Inside(const WindowsPath& path, const std::string& folder) {
    WindowsPath top;
    if (ParseWindowsPath(folder, false, &top) != ERROR_SUCCESS) return false;
    if (path.drive != top.drive || path.parts.size() < top.parts.size()) return false;
    for (size_t i = 0; i < top.parts.size(); ++i)
        if (!SameName(path.parts[i], top.parts[i])) return false;
    return true;
}

}  // namespace

DWORD CheckWriteAccess(const WindowsPath& path) {
    const MachineConfig& config = Config();
    if (config.admin) return ERROR_SUCCESS;
    if (Inside(path, config.system)) return ERROR_ACCESS_DENIED;
    // From Windows 2000 on, the program files belong to the administrators (NT 4.0 grants
    // Everyone "Change" there; the 95/98/Me family has no file security at all).
    bool programFilesGuarded = config.platformId == 2 && config.major >= 5;
    if (programFilesGuarded && Inside(path, config.programFiles)) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EBUSY:
    case EINVAL: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EFBIG:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    default: return ERROR_GEN_FAILURE;
    }
}

}  // namespace platform::host
