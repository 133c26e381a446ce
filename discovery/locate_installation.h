// Finding the installed product: App Paths first, then the folder picker.
#pragma once

#include <cstdint>

#include "platform_types.h"

// Fills `folder` (270 bytes) with the identified install folder and `alreadyCurrent` with the
// matching build's current flag. Returns 1 when a known build was located, 0 otherwise.
int LocateInstallation(HWND owner, char* folder, uint32_t* alreadyCurrent);
