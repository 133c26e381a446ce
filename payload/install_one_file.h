// Installing one row of the payload table into its destination folder.
#pragma once

#include "platform_types.h"
#include "text/path_text.h"

// What the rows of one InstallPayloadFiles call share.
struct InstallRun {
    char stagingFolder[PATH_BUFFER_SIZE];  // from GetTempPathA, ends with a backslash
    UINT tempFileLength;                   // MAX_PATH, passed to every VerInstallFileA call of the run
    int replaceInOneStep;                  // 1 where MoveFileExA replaces a file (the NT family)
};

enum Replacement {
    REPLACE_NOW,               // rename the new file over the old target (on 95/98/Me: delete, rename)
    REPLACE_NOW_OR_AT_RESTART, // as REPLACE_NOW; a target in use (a driver Windows loaded) is
                               // replaced at the next restart instead
    REPLACE_AT_RESTART         // register one replacing rename for the next restart
};

// Extracts the row's payload into the staging folder, has VerInstallFileA expand it into
// destinationFolder under the row's temp name, checks that it lies there complete, then
// replaces the row's target: at once with one replacing rename (on 95/98/Me a delete and a
// rename), or at the next restart. Returns 1 when the target was replaced (or scheduled), 0 when a
// step failed: the old target is then as it was, unless (on 95/98/Me) it was deleted and the
// rename failed, in which case the new file stays under its temp name.
int InstallOneFile(InstallRun* run, int row, const char* destinationFolder, Replacement replacement);
