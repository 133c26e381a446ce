#include "payload/install_one_file.h"

#include "payload/extract_payload.h"
#include "payload/payload_length.h"
#include "payload/payload_table.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/version.h"
#include "text/path_text.h"

namespace {

// The new file replaces the old one at the next restart in one registered operation. Deleting
// the old file and renaming the new one as two operations would, when a second run registers
// them again before the restart, delete the file that the first run's rename had put in place.
int ReplaceAtRestart(const char* tempPath, const char* targetPath) {
    platform::SetFileAttributesA(targetPath, FILE_ATTRIBUTE_NORMAL);
    if (platform::MoveFileExA(tempPath, targetPath, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING))
        return 1;
    // Nothing is scheduled: the new file would only lie about.
    platform::DeleteFileA(tempPath);
    return 0;
}

// Replaces the old file by the new one at once. Files copied from a CD are read-only: the old
// file is replaced all the same, and keeps its attributes when it cannot be.
int ReplaceNow(const InstallRun* run, const char* tempPath, const char* targetPath, int orAtRestart) {
    DWORD attributes = platform::GetFileAttributesA(targetPath);
    bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly) platform::SetFileAttributesA(targetPath, attributes & ~FILE_ATTRIBUTE_READONLY);
    if (run->replaceInOneStep) {
        // One rename over the old file: one that another program holds (a virus scanner, the
        // product itself) stays as it was, where a delete would only mark it and the new file
        // could not take its name before the old one went.
        if (platform::MoveFileExA(tempPath, targetPath, MOVEFILE_REPLACE_EXISTING)) return 1;
        // A driver Windows loaded at start is held until it stops: it is replaced at the next
        // restart, as Windows replaces a driver in use.
        DWORD error = platform::GetLastError();
        if (orAtRestart && (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION))
            return ReplaceAtRestart(tempPath, targetPath);
        if (readOnly) platform::SetFileAttributesA(targetPath, attributes);
        platform::DeleteFileA(tempPath);
        return 0;
    }
    BOOL deleted = platform::DeleteFileA(targetPath);
    if (!deleted && readOnly) platform::SetFileAttributesA(targetPath, attributes);
    if (platform::MoveFileA(tempPath, targetPath)) return 1;
    // With the old file gone the new one is all there is: it stays under its temp name.
    // Otherwise the old file (if any) is untouched and the new copy is not needed.
    if (!deleted) platform::DeleteFileA(tempPath);
    return 0;
}

}  // namespace

int InstallOneFile(InstallRun* run, int row, const char* destinationFolder, Replacement replacement) {
    const PayloadEntry& entry = PayloadTable[row];
    // Both paths are built first: a folder too long for them fails the row before any write.
    char tempPath[PATH_BUFFER_SIZE];
    char targetPath[PATH_BUFFER_SIZE];
    if (!JoinPath(tempPath, sizeof tempPath, destinationFolder, entry.tempName) ||
        !JoinPath(targetPath, sizeof targetPath, destinationFolder, entry.targetPath))
        return 0;

    // The temp names are the updater's own: one an earlier run left read-only, hidden or
    // system would refuse to be written again, so its attributes go first.
    char extracted[PATH_BUFFER_SIZE];
    if (JoinPath(extracted, sizeof extracted, run->stagingFolder, entry.tempName))
        platform::SetFileAttributesA(extracted, FILE_ATTRIBUTE_NORMAL);
    platform::SetFileAttributesA(tempPath, FILE_ATTRIBUTE_NORMAL);

    if (ExtractPayload(run->stagingFolder, entry.tempName, entry.payloadIndex) != 0) return 0;
    uint32_t length = 0;
    if (!InstalledPayloadLength(entry.payloadIndex, &length)) return 0;

    char tempFile[PATH_BUFFER_SIZE] = {};  // VerInstallFileA may report a temp file it left here
    DWORD result = platform::VerInstallFileA(VIFF_FORCEINSTALL, entry.tempName, entry.tempName,
                                             run->stagingFolder, destinationFolder, nullptr, tempFile,
                                             &run->tempFileLength);
    if (result != 0) {
        // A temp file the service left in the destination folder is removed.
        char leftover[PATH_BUFFER_SIZE];
        tempFile[sizeof tempFile - 1] = '\0';
        if ((result & VIF_TEMPFILE) && tempFile[0] != '\0' && JoinPath(leftover, sizeof leftover, destinationFolder, tempFile))
            platform::DeleteFileA(leftover);
        return 0;
    }
    // The old file goes only once the new one lies complete.
    if (!HasLength(tempPath, length)) {
        platform::DeleteFileA(tempPath);
        return 0;
    }
    if (replacement == REPLACE_AT_RESTART) return ReplaceAtRestart(tempPath, targetPath);
    return ReplaceNow(run, tempPath, targetPath, replacement == REPLACE_NOW_OR_AT_RESTART);
}
