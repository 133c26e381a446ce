// The folder picker of the install-folder discovery.
#include "discovery/browse_for_install_folder.h"

#include "platform/shell.h"
#include "process/process_state.h"
#include "text/load_text.h"

int BrowseForInstallFolder(HWND owner, UINT titleTextId, char* folder, size_t folderSize) {
    if (folderSize == 0) return 0;
    folder[0] = '\0';
    if (folderSize < MAX_PATH) return 0;
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = folder;  // receives the display name, then the path below
    info.lpszTitle = LoadText(AppModule, titleTextId);
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = nullptr;
    info.lParam = 0;
    LPITEMIDLIST item = platform::SHBrowseForFolderA(&info);
    if (item == nullptr) return 0;
    // Without a file-system path the buffer would still hold the display name: no folder.
    if (!platform::SHGetPathFromIDListA(item, folder)) folder[0] = '\0';
    platform::CoTaskMemFree(item);
    // A drive root comes back as "D:\"; the folder is "D:".
    if (folder[0] != '\0' && folder[1] == ':' && folder[2] == '\\' && folder[3] == '\0') folder[2] = '\0';
    return folder[0] != '\0' ? 1 : 0;
}
