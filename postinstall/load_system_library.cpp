// Loads a library of the system from the system folder by its full path. A bare name would be
// looked for first in the folder the updater was started from, where anyone could have put a
// file of that name.
#include "platform/files.h"
#include "platform/module.h"
#include "postinstall/load_system_library.h"
#include "text/path_text.h"

HMODULE LoadSystemLibrary(const char* name) {
    char folder[PATH_BUFFER_SIZE];
    char path[PATH_BUFFER_SIZE];
    UINT length = platform::GetSystemDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) return nullptr;
    if (!JoinPath(path, sizeof path, folder, name)) return nullptr;
    return platform::LoadLibraryA(path);
}
