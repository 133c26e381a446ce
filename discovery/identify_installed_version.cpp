// Identification of the installed build: the folder first, then its parent.
#include "discovery/known_versions.h"
#include "payload/install_one_file.h"
#include "text/path_text.h"

namespace {

// An update stopped between deleting the old executable and renaming the new one left the
// new one under its temp name: it is put in place first, or the folder could not be known.
int Probe(const char* folder, uint32_t* alreadyCurrent) {
    FinishInterruptedReplacement(folder, KnownVersionTable[0].fileName);
    return MatchKnownVersion(folder, alreadyCurrent);
}

}  // namespace

int IdentifyInstalledVersion(char* folder, uint32_t* alreadyCurrent) {
    *alreadyCurrent = 0;
    if (Probe(folder, alreadyCurrent)) return 1;
    // The parent keeps its trailing separator; it always fits where the folder did.
    DriveAndDirectory(folder, folder, 270);
    return Probe(folder, alreadyCurrent);
}
