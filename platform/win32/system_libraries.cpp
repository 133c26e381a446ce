// Loads the system libraries the executable does not import, from the system folder by full
// path. LOAD_WITH_ALTERED_SEARCH_PATH makes Windows look for the libraries each of them
// imports in the system folder too, before the folder the updater was started from.
#include "platform/win32/system_libraries.h"

#include "text/path_text.h"

namespace platform {
namespace {

const char* const kLibraryNames[SYSTEM_LIBRARY_COUNT] = {
    "ADVAPI32.DLL", "COMCTL32.DLL", "OLE32.DLL", "SHELL32.DLL", "VERSION.DLL"};

// Loaded for the life of the process, never freed.
HMODULE loaded[SYSTEM_LIBRARY_COUNT];

}  // namespace

FARPROC SystemFunction(SystemLibrary library, const char* name) {
    if (loaded[library] == nullptr) {
        char folder[PATH_BUFFER_SIZE];
        char path[PATH_BUFFER_SIZE];
        UINT length = ::GetSystemDirectoryA(folder, sizeof folder);
        if (length == 0 || length >= sizeof folder) return nullptr;
        if (!JoinPath(path, sizeof path, folder, kLibraryNames[library])) {
            ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return nullptr;
        }
        loaded[library] = ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (loaded[library] == nullptr) return nullptr;
    }
    return ::GetProcAddress(loaded[library], name);
}

}  // namespace platform
