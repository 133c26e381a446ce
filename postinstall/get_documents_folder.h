// The user's documents folder, looked up through the shell's folder library.
#pragma once

#include <cstddef>

#include "platform_types.h"

// Sets `output` (`outputSize` bytes, at least MAX_PATH: the lookup fills that many) to "", then
// to the user's documents folder through SHGetFolderPathA, found by name in SHFOLDER.DLL or else
// SHELL32.DLL, each loaded from the system folder. Returns 1 when the lookup was found and called (the output stays empty when it
// gave no path), 0 when it is unavailable or the buffer is smaller than MAX_PATH.
int GetDocumentsFolder(char* output, size_t outputSize);
