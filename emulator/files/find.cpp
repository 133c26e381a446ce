// Folder searches on the emulated machine: FindFirstFileA, FindNextFileA, FindClose. A search
// reads the whole folder at FindFirstFileA, so deleting returned entries does not disturb it.
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "emulator/files/file_system.h"
#include "emulator/machine/machine_state.h"
#include "platform/files.h"
#include "emulator/files/wildcard.h"

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
    if (!IsDirectory(dir)) return ERROR_PATH_NOT_FOUND;
    const std::string& wanted = path.parts.back();
    // The pattern as written, with the trailing dots that the path drops: "*." asks for names
    // without an extension.
    std::string written;
    for (size_t i = chars.size(); i > 0 && chars[i - 1] != "\\" && chars[i - 1] != "/"; --i) written.insert(0, chars[i - 1]);
    WIN32_FIND_DATAA data;
    // A name without wildcards is looked up, not matched against the whole folder. A drive's
    // root has no "." and "..".
    bool wild = IsWildcardPattern(wanted);
    std::vector<FolderEntry> entries = wild ? ListFolder(dir, path.parts.size() > 1) : FolderEntriesNamed(dir, wanted);
    for (const FolderEntry& entry : entries) {
        // A pattern matches the long name or its alias, as on Windows.
        if (wild && !WildcardMatch(written, entry.name) && (entry.alias.empty() || !WildcardMatch(written, entry.alias)))
            continue;
        if (!Describe(dir + "/" + entry.host, entry.name, &data)) continue;
        std::memcpy(data.cAlternateFileName, entry.alias.c_str(), entry.alias.size() + 1);
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
    if (!Injected(Call::FindFirstFileA, &error)) {
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
    if (!Injected(Call::FindNextFileA, &error)) {
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
    if (!Injected(Call::FindClose, &error)) {
        if (Searches().erase(handle) == 1) return TRUE;
        error = ERROR_INVALID_HANDLE;
    }
    SetError(error);
    return FALSE;
}

}  // namespace platform
