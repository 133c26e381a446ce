// The user's documents folder through SHGetFolderPathA, which older systems lack: looked up by
// name in SHFOLDER.DLL, or in SHELL32.DLL when SHFOLDER.DLL does not load, each from the system
// folder by its full path.
#include "platform/module.h"
#include "platform/shell.h"
#include "postinstall/get_documents_folder.h"
#include "postinstall/load_system_library.h"

int GetDocumentsFolder(char* output, size_t outputSize) {
    if (outputSize == 0) return 0;
    output[0] = '\0';
    if (outputSize < MAX_PATH) return 0;
    HMODULE library = LoadSystemLibrary("SHFOLDER.DLL");
    if (library == nullptr) library = LoadSystemLibrary("SHELL32.DLL");
    if (library == nullptr) return 0;
    int result = 0;
    FARPROC found = platform::GetProcAddress(library, "SHGetFolderPathA");
    if (found != nullptr) {
        // Through void (*)(), which converts to any function pointer type without a warning.
        platform::SHGetFolderPathAProc lookup =
            reinterpret_cast<platform::SHGetFolderPathAProc>(reinterpret_cast<void (*)()>(found));
        HRESULT status = lookup(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, output);
        if (FAILED(status)) output[0] = '\0';  // what a failed lookup leaves is no path
        output[MAX_PATH - 1] = '\0';
        result = 1;
    }
    platform::FreeLibrary(library);
    return result;
}
