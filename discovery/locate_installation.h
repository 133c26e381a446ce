// Finding the installed product: App Paths first, then the folder picker.
#pragma once

#include <cstddef>
#include <cstdint>

#include "discovery/known_versions.h"
#include "platform_types.h"

// Fills `folder` (`folderSize` bytes, at least MAX_PATH) with the identified install folder and
// `alreadyCurrent` with the matching build's current flag; `beforeProbe` runs before each probe
// of a candidate folder. Returns 1 when a known build was located, 0 otherwise.
int LocateInstallation(HWND owner, char* folder, size_t folderSize, uint32_t* alreadyCurrent,
                       BeforeProbe beforeProbe);
