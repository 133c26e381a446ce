// The shell's folder picker, asking the user for the product's folder.
#pragma once

#include <cstddef>

#include "platform_types.h"

// Empties `folder` (`folderSize` bytes, at least MAX_PATH: the shell fills that many) and shows
// the picker, owned by `owner`, titled with string `titleTextId`, confirming file-system folders
// only. Returns 1 with the chosen folder's path in `folder` (a drive root as "X:", without
// backslash); 0 when the user cancelled, the chosen item has no file-system path or the buffer
// is smaller than MAX_PATH, with `folder` empty.
int BrowseForInstallFolder(HWND owner, UINT titleTextId, char* folder, size_t folderSize);
