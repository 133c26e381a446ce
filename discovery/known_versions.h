// The builds of the product's main executable that the updater knows, and the probe that
// recognises one of them in a folder.
#pragma once

#include <cstddef>
#include <cstdint>

// One known build of the main executable.
struct KnownVersionEntry {
    const char* fileName;     // the executable to probe
    const char* versionText;  // FileVersion text as the build's version resource spells it
    uint32_t expectedSize;    // size in bytes; 0 accepts any size
    uint32_t isCurrent;       // 1 for the build this updater installs
};

#define KNOWN_VERSION_COUNT 36

// Searched in index order: the first entry that matches wins.
extern const KnownVersionEntry KnownVersionTable[KNOWN_VERSION_COUNT];

// A step the caller orders before each probe of a folder, given the folder and the name of the
// executable probed there (the run finishes an interrupted replacement of it). nullptr: none.
typedef int (*BeforeProbe)(const char* folder, const char* executableName);

// One probe: the executable in `folder` against the whole table. On a match sets
// *alreadyCurrent to the entry's isCurrent and returns 1; otherwise returns 0 and leaves
// *alreadyCurrent alone. `folder` is not changed.
int MatchKnownVersion(const char* folder, uint32_t* alreadyCurrent);

// Sets *alreadyCurrent to 0, probes `folder` (a text in a buffer of `folderSize` bytes), and
// when that fails replaces the text by its parent folder (drive and directory, with the
// trailing separator) and probes again; `beforeProbe` runs before each probe. Returns 1 when
// either probe matched.
int IdentifyInstalledVersion(char* folder, size_t folderSize, uint32_t* alreadyCurrent, BeforeProbe beforeProbe);
