// The data folder in the user's documents folder, made when missing; else the module folder.
#include "platform/files.h"
#include "postinstall/get_data_folder.h"
#include "postinstall/get_documents_folder.h"
#include "postinstall/get_module_folder.h"
#include "text/load_text.h"
#include "text/path_text.h"

int GetDataFolder(char* output, size_t outputSize, HINSTANCE module, UINT nameId) {
    if (outputSize == 0) return 0;
    char documents[PATH_BUFFER_SIZE] = "";
    output[0] = '\0';
    // An empty documents path would name a folder relative to the current folder, and a folder
    // name that cannot be loaded the documents folder itself: the files are then left where they
    // are, as when there is no lookup at all.
    if (GetDocumentsFolder(documents, sizeof documents) && documents[0] != '\0') {
        const char* name = LoadText(module, nameId);
        if (name[0] != '\0' && JoinPath(output, outputSize, documents, name) &&
            platform::GetFileAttributesA(output) == INVALID_FILE_ATTRIBUTES)
            platform::CreateDirectoryA(output, nullptr);
    }
    if (output[0] != '\0') return 1;
    GetModuleFolder(module, output, outputSize);
    return 0;
}
