// SHGetFolderPathA of the emulated machine: the user's documents folder is machine.ini's
// [folders] documents.
#include <cstring>

#include "emulator/files/file_system.h"
#include "emulator/machine/machine_state.h"
#include "emulator/shell/shell_state.h"

namespace platform::host {

// Only the documents folder is known. As the ANSI call on Windows: a folder that does not
// exist (and is not to be created) gives S_FALSE and an empty path.
HRESULT WINAPI SHGetFolderPathA(HWND, int folder, HANDLE token, DWORD flags, LPSTR path) {
    DWORD error = 0;
    if (Injected(Call::SHGetFolderPathA, &error)) {
        if (path != nullptr) path[0] = '\0';
        return HRESULT_FROM_WIN32(error);
    }
    if (path == nullptr) return E_INVALIDARG;
    path[0] = '\0';
    if (folder != CSIDL_PERSONAL || token != nullptr || flags != SHGFP_TYPE_CURRENT) return E_INVALIDARG;
    const std::string& documents = Config().documents;
    Target target;
    if (ResolveTarget(documents.c_str(), &target) != ERROR_SUCCESS || !target.exists || !target.isDir)
        return S_FALSE;
    if (documents.size() >= MAX_PATH) return E_FAIL;
    std::memcpy(path, documents.c_str(), documents.size() + 1);
    return S_OK;
}

}  // namespace platform::host
