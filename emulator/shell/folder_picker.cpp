// The shell's folder picker on the emulated machine: the question goes to the host dialog
// (script or terminal); only an existing folder of the machine can be confirmed.
#include <cstring>
#include <set>
#include <string>

#include "emulator/files/file_system.h"
#include "emulator/machine/machine_state.h"
#include "emulator/dialogs/windows_model.h"
#include "emulator/shell/host_shell.h"
#include "platform/shell.h"

// A picked item: the full path of a folder, in the machine code page.
struct ITEMIDLIST {
    std::string path;
};

namespace platform {
namespace {

std::set<ITEMIDLIST*>& LiveItems() {
    static std::set<ITEMIDLIST*> items;
    return items;
}

// The folder named by `utf8`, spelled as the machine's file system spells it, or why it
// cannot be confirmed.
bool ExistingFolder(const std::string& utf8, host::WindowsPath* folder, std::string* refusal) {
    std::string ansi;
    host::WindowsPath parsed;
    host::Target target;
    if (!host::Utf8ToAnsi(utf8, &ansi) || ansi.size() < 2 || ansi[1] != ':' ||
        host::ParseWindowsPath(ansi, false, &parsed) != ERROR_SUCCESS) {
        *refusal = "\"" + utf8 + "\": not a full Windows path";
        return false;
    }
    if (host::ResolveTarget(parsed.Text().c_str(), &target) != ERROR_SUCCESS || !target.isDir) {
        *refusal = "\"" + utf8 + "\": not an existing folder";
        return false;
    }
    // Each component as it exists: the part of the host path below the drive's folder.
    std::string drive;
    host::MapWindowsPath(parsed, 0, &drive);
    *folder = parsed;
    folder->parts.clear();
    std::string below = target.host.size() > drive.size() ? target.host.substr(drive.size() + 1) : "";
    for (size_t start = 0; start < below.size();) {
        size_t slash = below.find('/', start);
        if (slash == std::string::npos) slash = below.size();
        std::string part;
        if (!host::Utf8ToAnsi(below.substr(start, slash - start), &part)) {
            *refusal = "\"" + utf8 + "\": a name the code page cannot hold";
            return false;
        }
        folder->parts.push_back(part);
        start = slash + 1;
    }
    return true;
}

// The display name of a folder: its last component, or "X:" for a root.
std::string DisplayName(const host::WindowsPath& path) {
    return path.parts.empty() ? std::string(1, path.drive) + ":" : path.parts.back();
}

}  // namespace

namespace host {
int OpenShellItems() { return static_cast<int>(LiveItems().size()); }
}  // namespace host

LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info) {
    if (host::InjectedFailure(host::Call::SHBrowseForFolderA)) return nullptr;
    if (info == nullptr) {
        host::SetError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string title;
    host::AnsiToUtf8(info->lpszTitle != nullptr ? info->lpszTitle : "", &title);
    std::string answer, refusal;
    host::WindowsPath picked;
    for (;;) {
        if (!host::AskForFolder(title, refusal, &answer) || answer.empty()) return nullptr;  // cancel
        if (ExistingFolder(answer, &picked, &refusal)) break;
    }
    if (info->pszDisplayName != nullptr) {
        std::string name = DisplayName(picked);
        if (name.size() >= MAX_PATH) name.resize(MAX_PATH - 1);
        std::memcpy(info->pszDisplayName, name.c_str(), name.size() + 1);
    }
    ITEMIDLIST* item = new ITEMIDLIST{picked.Text()};
    LiveItems().insert(item);
    return item;
}

BOOL SHGetPathFromIDListA(LPCITEMIDLIST item, LPSTR path) {
    if (host::InjectedFailure(host::Call::SHGetPathFromIDListA)) return FALSE;
    if (path == nullptr) return FALSE;
    auto live = LiveItems().find(const_cast<ITEMIDLIST*>(item));
    // The shell writes at most MAX_PATH bytes; a longer path is no file-system path.
    if (live == LiveItems().end() || (*live)->path.size() >= MAX_PATH) {
        path[0] = '\0';
        return FALSE;
    }
    std::memcpy(path, (*live)->path.c_str(), (*live)->path.size() + 1);
    return TRUE;
}

void CoTaskMemFree(LPVOID memory) {
    host::InjectedFailure(host::Call::CoTaskMemFree);  // counted; releasing memory cannot fail
    auto live = LiveItems().find(static_cast<ITEMIDLIST*>(memory));
    if (live == LiveItems().end()) return;
    delete *live;
    LiveItems().erase(live);
}

}  // namespace platform
