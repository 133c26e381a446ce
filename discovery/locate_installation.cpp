// Finding the installed product: the App Paths entry first, then the folder picker; the
// folder found is written back to App Paths so that the next run finds it at once.
#include "discovery/locate_installation.h"

#include <cstring>

#include "discovery/browse_for_install_folder.h"
#include "platform/registry.h"
#include "process/process_state.h"
#include "text/load_text.h"
#include "text/path_text.h"
#include "text/text_ids.h"

namespace {

const char kPathValue[] = "Path";

// The folder as App Paths records it, in `text` (`textSize` bytes): one trailing backslash
// removed (by character, so a double-byte character ending in 0x5C stays whole); and the
// executable's full path in `executable` (`executableSize` bytes). Returns 0 when either would
// not fit, and then nothing is recorded.
int RegistryTexts(const char* folder, char* text, size_t textSize, char* executable, size_t executableSize) {
    std::memset(text, 0, textSize);
    if (!CopyText(text, textSize, folder)) return 0;
    size_t length = std::strlen(text);
    if (EndsWithSeparator(text) && text[length - 1] == '\\') text[length - 1] = '\0';
    std::memset(executable, 0, executableSize);
    return CopyText(executable, executableSize, text) && AppendText(executable, executableSize, "\\") &&
           AppendText(executable, executableSize, KnownVersionTable[0].fileName);
}

// Writes "Path" with `type` and the default value as REG_SZ; lengths without the NUL.
void RecordFolder(HKEY key, DWORD type, const char* folder) {
    char text[PATH_BUFFER_SIZE];
    char executable[PATH_BUFFER_SIZE];
    if (!RegistryTexts(folder, text, sizeof text, executable, sizeof executable)) return;
    platform::RegSetValueExA(key, kPathValue, 0, type, reinterpret_cast<const BYTE*>(text),
                             static_cast<DWORD>(std::strlen(text)));
    platform::RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(executable),
                             static_cast<DWORD>(std::strlen(executable)));
}

// Route 1: the folder recorded in App Paths. Returns 1 when it holds a known build.
int FromAppPaths(char* folder, size_t folderSize, uint32_t* alreadyCurrent, BeforeProbe beforeProbe) {
    // A key name that cannot be loaded would name HKEY_LOCAL_MACHINE itself.
    const char* keyName = LoadText(AppModule, IDS_APP_PATHS_KEY);
    HKEY key = nullptr;
    if (keyName[0] == '\0' ||
        platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return 0;
    }
    // The read may fill MAX_PATH bytes of the folder's buffer.
    DWORD type = REG_SZ;
    DWORD size = MAX_PATH;
    LONG read = platform::RegQueryValueExA(key, kPathValue, nullptr, &type, reinterpret_cast<BYTE*>(folder), &size);
    // A value that did not fit, or one without its NUL, still leaves a terminated text.
    if (read != ERROR_SUCCESS) std::memset(folder, 0, folderSize);
    folder[MAX_PATH - 1] = '\0';
    // An empty "Path" names no folder; the bare name would depend on the current folder.
    int found = folder[0] != '\0' && IdentifyInstalledVersion(folder, folderSize, alreadyCurrent, beforeProbe);
    if (found) RecordFolder(key, type, folder);
    platform::RegCloseKey(key);
    return found;
}

// Route 2: the folder the user picks; App Paths is created for it when it can be.
int FromPicker(HWND owner, char* folder, size_t folderSize, uint32_t* alreadyCurrent, BeforeProbe beforeProbe) {
    std::memset(folder, 0, folderSize);
    if (!BrowseForInstallFolder(owner, IDS_PICK_FOLDER, folder, folderSize)) return 0;
    if (!IdentifyInstalledVersion(folder, folderSize, alreadyCurrent, beforeProbe)) return 0;
    const char* parentName = LoadText(AppModule, IDS_APP_PATHS_PARENT);
    HKEY parent = nullptr;
    if (parentName[0] == '\0' ||
        platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, parentName, 0, KEY_ALL_ACCESS, &parent) != ERROR_SUCCESS) {
        return 1;  // located; nothing recorded
    }
    HKEY key = nullptr;
    if (platform::RegCreateKeyExA(parent, KnownVersionTable[0].fileName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        RecordFolder(key, REG_SZ, folder);
        platform::RegCloseKey(key);
    }
    platform::RegCloseKey(parent);
    return 1;
}

}  // namespace

int LocateInstallation(HWND owner, char* folder, size_t folderSize, uint32_t* alreadyCurrent,
                       BeforeProbe beforeProbe) {
    *alreadyCurrent = 0;
    if (folderSize == 0) return 0;
    std::memset(folder, 0, folderSize);
    if (folderSize < MAX_PATH) return 0;
    if (FromAppPaths(folder, folderSize, alreadyCurrent, beforeProbe)) return 1;
    return FromPicker(owner, folder, folderSize, alreadyCurrent, beforeProbe);
}
