// Identification of the installed build: the folder first, then its parent.
#include "discovery/known_versions.h"
#include "text/path_text.h"

int IdentifyInstalledVersion(char* folder, uint32_t* alreadyCurrent) {
    *alreadyCurrent = 0;
    if (MatchKnownVersion(folder, alreadyCurrent)) return 1;
    // The parent keeps its trailing separator; it always fits where the folder did.
    DriveAndDirectory(folder, folder, 270);
    return MatchKnownVersion(folder, alreadyCurrent);
}
