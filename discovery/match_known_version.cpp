// One probe of a folder: the FileVersion text and size of its VKTARN.EXE against the table.
#include <cstdlib>

#include "discovery/known_versions.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/version.h"
#include "process/process_state.h"
#include "text/load_text.h"
#include "text/path_text.h"
#include "text/text_ids.h"

namespace {

// The entry that `versionText` and the file at `path` match, or -1.
int FindEntry(const char* versionText, const char* path) {
    for (int i = 0; i < KNOWN_VERSION_COUNT; ++i) {
        const KnownVersionEntry& entry = KnownVersionTable[i];
        if (platform::lstrcmpiA(versionText, entry.versionText) != 0) continue;
        if (entry.expectedSize == 0) return i;
        if (HasLength(path, entry.expectedSize)) return i;
    }
    return -1;
}

}  // namespace

int MatchKnownVersion(const char* folder, uint32_t* alreadyCurrent) {
    char probe[PATH_BUFFER_SIZE];
    // A folder too long to hold the file name cannot hold the build.
    if (!JoinPath(probe, sizeof probe, folder, KnownVersionTable[0].fileName)) return 0;

    DWORD handle = 0;
    DWORD size = platform::GetFileVersionInfoSizeA(probe, &handle);
    if (size == 0) return 0;
    // The version block is the one allocation of the probe; the FileVersion text lives in it.
    void* block = std::calloc(static_cast<size_t>(size) + 10, 1);
    if (block == nullptr) return 0;
    int entry = -1;
    void* value = nullptr;
    UINT length = 0;
    if (platform::GetFileVersionInfoA(probe, 0, size, block) &&
        platform::VerQueryValueA(block, LoadText(AppModule, IDS_VERSION_QUERY), &value, &length) &&
        value != nullptr) {
        entry = FindEntry(static_cast<const char*>(value), probe);
    }
    std::free(block);
    if (entry < 0) return 0;
    *alreadyCurrent = KnownVersionTable[entry].isCurrent;
    return 1;
}
