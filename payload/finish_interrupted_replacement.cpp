#include "payload/finish_interrupted_replacement.h"

#include <cstring>

#include "payload/payload_length.h"
#include "payload/payload_table.h"
#include "platform/files.h"
#include "text/path_text.h"

int FinishInterruptedReplacement(const char* folder, const char* targetName) {
    for (const PayloadEntry& entry : PayloadTable) {
        if (std::strcmp(entry.targetPath, targetName) != 0) continue;
        char tempPath[PATH_BUFFER_SIZE];
        char targetPath[PATH_BUFFER_SIZE];
        if (!JoinPath(tempPath, sizeof tempPath, folder, entry.tempName) ||
            !JoinPath(targetPath, sizeof targetPath, folder, entry.targetPath) ||
            platform::GetFileAttributesA(targetPath) != INVALID_FILE_ATTRIBUTES)
            return 0;
        uint32_t length = 0;
        if (!InstalledPayloadLength(entry.payloadIndex, &length) || !HasLength(tempPath, length)) return 0;
        return platform::MoveFileA(tempPath, targetPath) ? 1 : 0;
    }
    return 0;
}
