// The shell's folder picker, asking the user for the product's folder.
#pragma once

#include "platform_types.h"

// Empties `folder` (at least 260 bytes) and shows the picker, owned by `owner`, titled with
// string `titleTextId`, confirming file-system folders only. Returns 1 with the chosen
// folder's path in `folder` (a drive root as "X:", without backslash); 0 when the user
// cancelled or the chosen item has no file-system path, with `folder` empty.
int BrowseForInstallFolder(HWND owner, UINT titleTextId, char* folder);
