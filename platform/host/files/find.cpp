// Folder searches on the emulated machine: FindFirstFileA, FindNextFileA, FindClose. A search
// reads the whole folder at FindFirstFileA, so deleting returned entries does not disturb it.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "platform/host/files/file_system.h"
#include "platform/host/machine/machine_state.h"
#include "platform/files.h"
#include "platform/host/files/wildcard.h"

namespace platform::host {
namespace {

struct Search {
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};

std::map<HANDLE, std::unique_ptr<Search>>& Searches() {
    static std::map<HANDLE, std::unique_ptr<Search>> searches;
    return searches;
}

FILETIME ToFileTime(const struct timespec& t) {
    // 100-nanosecond steps since 1601-01-01.
    uint64_t ticks = (static_cast<uint64_t>(t.tv_sec) + 11644473600ull) * 10000000ull +
                     static_cast<uint64_t>(t.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

bool Describe(const std::string& host, const std::string& ansi, WIN32_FIND_DATAA* data) {
    struct stat st;
    if (ansi.size() >= sizeof data->cFileName || stat(host.c_str(), &st) != 0) return false;
    std::memset(data, 0, sizeof *data);
    bool isDir = S_ISDIR(st.st_mode);
    data->dwFileAttributes = ReadAttributes(host, isDir);
    data->ftCreationTime = ToFileTime(st.st_mtim);
    data->ftLastAccessTime = ToFileTime(st.st_atim);
    data->ftLastWriteTime = ToFileTime(st.st_mtim);
    uint64_t size = isDir ? 0 : static_cast<uint64_t>(st.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
    std::memcpy(data->cFileName, ansi.c_str(), ansi.size() + 1);
    return true;
}

// Windows lists "." and "..", then the names in order without regard to case.
bool NameBefore(const std::string& a, const std::string& b) {
    auto rank = [](const std::string& n) { return n == "." ? 0 : n == ".." ? 1 : 2; };
    int ra = rank(a), rb = rank(b);
    if (ra != rb) return ra < rb;
    for (const char *x = a.c_str(), *y = b.c_str();; ++x, ++y) {
        unsigned char cx = static_cast<unsigned char>(*x), cy = static_cast<unsigned char>(*y);
        if (cx >= 'a' && cx <= 'z') cx -= 'a' - 'A';
        if (cy >= 'a' && cy <= 'z') cy -= 'a' - 'A';
        if (cx != cy || cx == 0) return cx < cy;
    }
}

// True when `name` is already an 8.3 name: 1-8 bytes, optionally a dot and 1-3 more, no
// character an 8.3 name cannot hold. Such names get no alias (their case does not matter).
bool IsShortName(const std::string& name) {
    if (name == "." || name == "..") return true;
    size_t dot = name.find('.');
    if (dot != name.rfind('.')) return false;
    std::string base = name.substr(0, dot), ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3 || (dot != std::string::npos && ext.empty())) return false;
    for (char c : name)
        if (c == ' ' || std::strchr("+,;=[]", c) != nullptr) return false;
    return true;
}

// Up to `bytes` bytes of the characters of `text` as an alias holds them: upper case, no
// spaces or dots, '_' for what an 8.3 name cannot hold; a double-byte character is not split.
std::string AliasPart(const std::string& text, size_t bytes) {
    std::string out;
    for (const std::string& ch : SplitCharacters(text)) {
        if (ch == " " || ch == ".") continue;
        std::string c = ch;
        if (c.size() == 1 && std::strchr("+,;=[]", c[0]) != nullptr) c = "_";
        if (c.size() == 1 && c[0] >= 'a' && c[0] <= 'z') c[0] = static_cast<char>(c[0] - 'a' + 'A');
        if (out.size() + c.size() > bytes) break;
        out += c;
    }
    return out;
}

// The 8.3 aliases Windows gives the long names of one folder ("" for a name that is already
// short): the first six characters, "~N" with the lowest N no other name of the folder has,
// and the first three characters of the extension.
std::vector<std::string> ShortAliases(const std::vector<std::string>& names) {
    std::vector<std::string> aliases(names.size());
    std::vector<std::string> taken;
    for (const std::string& name : names)
        if (IsShortName(name)) taken.push_back(name);
    for (size_t i = 0; i < names.size(); ++i) {
        if (IsShortName(names[i])) continue;
        size_t dot = names[i].rfind('.');
        std::string base = AliasPart(names[i].substr(0, dot), 6);
        std::string ext = dot == std::string::npos ? "" : AliasPart(names[i].substr(dot + 1), 3);
        if (base.empty()) base = "_";
        for (int n = 1;; ++n) {
            std::string tail = "~" + std::to_string(n);
            std::string alias = AliasPart(base, 8 - tail.size()) + tail + (ext.empty() ? "" : "." + ext);
            bool used = false;
            for (const std::string& t : taken) used = used || SameName(t, alias);
            if (!used) {
                aliases[i] = alias;
                taken.push_back(alias);
                break;
            }
        }
    }
    return aliases;
}

DWORD Collect(LPCSTR pattern, std::vector<WIN32_FIND_DATAA>* found) {
    if (pattern == nullptr) return ERROR_INVALID_PARAMETER;
    std::vector<std::string> chars = SplitCharacters(pattern);
    if (chars.empty() || chars.back() == "\\" || chars.back() == "/") return ERROR_FILE_NOT_FOUND;
    WindowsPath path;
    DWORD error = ParseWindowsPath(pattern, true, &path);
    if (error != ERROR_SUCCESS) return error;
    if (path.parts.empty()) return ERROR_FILE_NOT_FOUND;
    std::string dir;
    error = MapWindowsPath(path, path.parts.size() - 1, &dir);
    if (error != ERROR_SUCCESS) return error;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return ERROR_PATH_NOT_FOUND;
    const std::string& wanted = path.parts.back();
    bool root = path.parts.size() == 1;
    std::vector<std::string> hostNames, names;
    while (struct dirent* e = readdir(d)) {
        std::string name = e->d_name, ansi;
        bool dots = name == "." || name == "..";
        if (dots && root) continue;  // a drive's root has no "." and ".."
        if (!Utf8ToAnsi(name, &ansi)) continue;
        hostNames.push_back(name);
        names.push_back(ansi);
    }
    closedir(d);
    // In the order Windows lists them, so that the aliases do not depend on the host's order.
    std::vector<size_t> order(names.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return NameBefore(names[a], names[b]); });
    std::vector<std::string> sorted;
    for (size_t i : order) sorted.push_back(names[i]);
    std::vector<std::string> aliases =
        Config().shortnames ? ShortAliases(sorted) : std::vector<std::string>(sorted.size());
    WIN32_FIND_DATAA data;
    for (size_t k = 0; k < order.size(); ++k) {
        const std::string& ansi = sorted[k];
        const std::string& alias = aliases[k];
        // A pattern matches the long name or its alias, as on Windows.
        if (!WildcardMatch(wanted, ansi) && (alias.empty() || !WildcardMatch(wanted, alias))) continue;
        if (!Describe(dir + "/" + hostNames[order[k]], ansi, &data)) continue;
        std::memcpy(data.cAlternateFileName, alias.c_str(), alias.size() + 1);
        found->push_back(data);
    }
    if (found->empty()) return ERROR_FILE_NOT_FOUND;

    return ERROR_SUCCESS;
}

}  // namespace
}  // namespace platform::host

namespace platform {

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found) {
    using namespace host;
    DWORD error = 0;
    if (!Injected("FindFirstFileA", &error)) {
        auto search = std::make_unique<Search>();
        error = found == nullptr ? ERROR_INVALID_PARAMETER : Collect(pattern, &search->entries);
        if (error == ERROR_SUCCESS) {
            *found = search->entries[0];
            search->next = 1;
            HANDLE handle = search.get();
            Searches()[handle] = std::move(search);
            return handle;
        }
    }
    SetError(error);
    return INVALID_HANDLE_VALUE;
}

BOOL FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA found) {
    using namespace host;
    DWORD error = 0;
    if (!Injected("FindNextFileA", &error)) {
        auto it = Searches().find(handle);
        if (it == Searches().end() || found == nullptr) {
            error = ERROR_INVALID_HANDLE;
        } else if (it->second->next >= it->second->entries.size()) {
            error = ERROR_NO_MORE_FILES;
        } else {
            *found = it->second->entries[it->second->next++];
            return TRUE;
        }
    }
    SetError(error);
    return FALSE;
}

BOOL FindClose(HANDLE handle) {
    using namespace host;
    DWORD error = 0;
    if (!Injected("FindClose", &error)) {
        if (Searches().erase(handle) == 1) return TRUE;
        error = ERROR_INVALID_HANDLE;
    }
    SetError(error);
    return FALSE;
}

}  // namespace platform
