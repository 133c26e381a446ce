// Moves "VKCDDB.DB", "CHG.LOG" and every "*.LST" of the install folder into the data folder.
#include "app/app_state.h"
#include "platform/files.h"
#include "postinstall/data_relocation.h"
#include "text/path_text.h"
#include "text/text_ids.h"

namespace {

// Copies the file without replacing one already in the data folder, and deletes the source only
// when the copy succeeded: a file that is not safely in the data folder stays where it is.
void MoveDataFile(const char* installFolder, const char* dataFolder, const char* name) {
    char source[DATA_PATH_SIZE];
    char destination[DATA_PATH_SIZE];
    if (!JoinPath(source, sizeof source, installFolder, name)) return;
    if (!JoinPath(destination, sizeof destination, dataFolder, name)) return;
    if (platform::CopyFileA(source, destination, TRUE)) platform::DeleteFileA(source);
}

}  // namespace

void RelocateDataFiles(const char* installFolder) {
    char dataFolder[DATA_PATH_SIZE] = {0};
    if (!GetDataFolder(dataFolder, AppModule, IDS_DATA_FOLDER)) return;
    MoveDataFile(installFolder, dataFolder, "VKCDDB.DB");
    MoveDataFile(installFolder, dataFolder, "CHG.LOG");

    char pattern[DATA_PATH_SIZE];
    if (!JoinPath(pattern, sizeof pattern, installFolder, "*.LST")) return;
    WIN32_FIND_DATAA found;
    HANDLE search = platform::FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        MoveDataFile(installFolder, dataFolder, found.cFileName);
    } while (platform::FindNextFileA(search, &found));
    platform::FindClose(search);
}
