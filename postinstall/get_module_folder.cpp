// The folder of a module's executable: its drive and directory, by character of the code page.
#include "platform/module.h"
#include "postinstall/get_module_folder.h"
#include "text/path_text.h"

void GetModuleFolder(HINSTANCE module, char* output, size_t outputSize) {
    char path[PATH_BUFFER_SIZE];
    DWORD length = platform::GetModuleFileNameA(module, path, sizeof path);
    // No path, or one cut to the buffer (not terminated on older systems): no folder.
    if (length == 0 || length >= sizeof path) path[0] = '\0';
    DriveAndDirectory(path, output, outputSize);
}
