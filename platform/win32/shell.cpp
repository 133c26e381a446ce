// Shell calls: straight to shell32 and ole32, loaded from the system folder.
#include "platform/shell.h"
#include "platform/win32/system_libraries.h"

namespace platform {

LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info) {
    CALL_SYSTEM_FUNCTION(SHELL32_DLL, SHBrowseForFolderA, nullptr, info);
}

BOOL SHGetPathFromIDListA(LPCITEMIDLIST item, LPSTR path) {
    CALL_SYSTEM_FUNCTION(SHELL32_DLL, SHGetPathFromIDListA, FALSE, item, path);
}

void CoTaskMemFree(LPVOID memory) {
    if (auto function = SystemFunctionAs<decltype(&::CoTaskMemFree)>(OLE32_DLL, "CoTaskMemFree")) function(memory);
}

}  // namespace platform
