// Shell calls: straight to shell32 and ole32.
#include "platform/shell.h"

namespace platform {

LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info) { return ::SHBrowseForFolderA(info); }

BOOL SHGetPathFromIDListA(LPCITEMIDLIST item, LPSTR path) { return ::SHGetPathFromIDListA(item, path); }

void CoTaskMemFree(LPVOID memory) { ::CoTaskMemFree(memory); }

}  // namespace platform
