// Rewrites "Velkor TARN.lnk" in the "Velkor TARN" folder of the common program menu, on
// Windows versions from 5.1 on, pointing at VKTARN.EXE in the install folder.
#include <cstring>

#include "discovery/known_versions.h"
#include "platform/registry.h"
#include "postinstall/program_shortcut.h"
#include "process/process_state.h"
#include "text/path_text.h"

namespace {

const char kShellFolders[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kCommonPrograms[] = "Common Programs";
const char kShortcutName[] = "\\Velkor TARN\\Velkor TARN.lnk";

}  // namespace

void RefreshProgramShortcut(const char* installFolder) {
    if (OsVersionSnapshot.dwMajorVersion < 5) return;
    if (OsVersionSnapshot.dwMinorVersion < 1) return;
    HKEY key = nullptr;
    if (platform::RegOpenKeyA(HKEY_LOCAL_MACHINE, kShellFolders, &key) != ERROR_SUCCESS) return;
    char shortcut[MAX_PATH];
    DWORD size = sizeof shortcut;
    DWORD type = REG_NONE;
    LONG read = platform::RegQueryValueExA(key, kCommonPrograms, nullptr, &type,
                                           reinterpret_cast<BYTE*>(shortcut), &size);
    platform::RegCloseKey(key);
    // A value that cannot be read as a terminated text, or a path that does not fit with the
    // shortcut's name, gives no place for the shortcut: nothing is written.
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return;
    // Only the bytes the read gave count: the rest of the buffer holds nothing of the value.
    if (size == 0 || size > sizeof shortcut || strnlen(shortcut, size) == size) return;
    char target[MAX_PATH];
    if (!JoinPath(target, sizeof target, installFolder, KnownVersionTable[KNOWN_VERSION_COUNT - 1].fileName)) return;
    if (!AppendText(shortcut, sizeof shortcut, kShortcutName)) return;
    CreateShellShortcut(target, "", installFolder, SW_SHOWDEFAULT, shortcut);
}
