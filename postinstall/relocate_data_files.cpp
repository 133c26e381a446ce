// Moves "VKCDDB.DB", "CHG.LOG" and every "*.LST" of the install folder into the data folder.
#include "platform/files.h"
#include "postinstall/get_data_folder.h"
#include "postinstall/relocate_data_files.h"
#include "process/process_state.h"
#include "text/path_text.h"
#include "text/text_ids.h"

namespace {

// The name a file is copied under in the data folder before it takes its own: CopyFileA
// writes in place, and a copy cut short by a power cut must never stand under the final name,
// where every later run would keep it.
const char kPartialCopy[] = "VKMOVE.TMP";

// Deletes a file that may be read-only.
BOOL DeleteAnyFile(const char* path) {
    DWORD attributes = platform::GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return FALSE;
    if (attributes & FILE_ATTRIBUTE_READONLY) platform::SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    if (platform::DeleteFileA(path)) return TRUE;
    if (attributes & FILE_ATTRIBUTE_READONLY) platform::SetFileAttributesA(path, attributes);
    return FALSE;
}

// Copies the file under the partial name, renames the copy to its own name without replacing a
// file already in the data folder, and deletes the source only then: the file is whole at all
// times in at least one of the two folders. A source that cannot be deleted (the product, left
// running, holds it) stays the only one: its copy goes again, so that no two copies drift apart.
void MoveDataFile(const char* installFolder, const char* dataFolder, const char* partial, const char* name) {
    char source[PATH_BUFFER_SIZE];
    char destination[PATH_BUFFER_SIZE];
    if (!JoinPath(source, sizeof source, installFolder, name)) return;
    if (!JoinPath(destination, sizeof destination, dataFolder, name)) return;
    if (!platform::CopyFileA(source, partial, TRUE)) return;
    if (!platform::MoveFileA(partial, destination)) {
        DeleteAnyFile(partial);
        return;
    }
    if (!DeleteAnyFile(source)) DeleteAnyFile(destination);
}

}  // namespace

void ForEachDataFile(const char* installFolder, DataFileVisitor visit, void* context) {
    visit("VKCDDB.DB", context);
    visit("CHG.LOG", context);
    char pattern[PATH_BUFFER_SIZE];
    if (!JoinPath(pattern, sizeof pattern, installFolder, "*.LST")) return;
    WIN32_FIND_DATAA found;
    HANDLE search = platform::FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        visit(found.cFileName, context);
    } while (platform::FindNextFileA(search, &found));
    platform::FindClose(search);
}

namespace {

struct Relocation {
    const char* installFolder;
    const char* dataFolder;
    const char* partial;
};

void MoveVisited(const char* name, void* context) {
    const Relocation& move = *static_cast<const Relocation*>(context);
    MoveDataFile(move.installFolder, move.dataFolder, move.partial, name);
}

}  // namespace

void RelocateDataFiles(const char* installFolder) {
    char dataFolder[PATH_BUFFER_SIZE] = {0};
    if (!GetDataFolder(dataFolder, sizeof dataFolder, AppModule, IDS_DATA_FOLDER)) return;
    char partial[PATH_BUFFER_SIZE];
    if (!JoinPath(partial, sizeof partial, dataFolder, kPartialCopy)) return;
    // A partial copy that an interrupted run left behind.
    DeleteAnyFile(partial);
    Relocation move = {installFolder, dataFolder, partial};
    ForEachDataFile(installFolder, &MoveVisited, &move);
}
