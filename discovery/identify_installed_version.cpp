// Identification of the installed build: the folder first, then its parent.
#include "discovery/known_versions.h"
#include "text/path_text.h"

namespace {

int Probe(const char* folder, uint32_t* alreadyCurrent, BeforeProbe beforeProbe) {
    if (beforeProbe != nullptr) beforeProbe(folder, KnownVersionTable[0].fileName);
    return MatchKnownVersion(folder, alreadyCurrent);
}

}  // namespace

int IdentifyInstalledVersion(char* folder, size_t folderSize, uint32_t* alreadyCurrent, BeforeProbe beforeProbe) {
    *alreadyCurrent = 0;
    if (Probe(folder, alreadyCurrent, beforeProbe)) return 1;
    // The parent keeps its trailing separator; it always fits where the folder did.
    DriveAndDirectory(folder, folder, folderSize);
    return Probe(folder, alreadyCurrent, beforeProbe);
}
