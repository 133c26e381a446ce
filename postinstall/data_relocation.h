// Moving the product's data files into the user's documents folder.
#pragma once

#include "platform_types.h"

// Size of the path buffers of the relocation, the output of GetDataFolder and GetModuleFolder.
#define DATA_PATH_SIZE 270

void RelocateDataFiles(const char* installFolder);

// Fills `output` (DATA_PATH_SIZE bytes) with the data folder: the documents folder joined with
// the string `nameId` of `module`, created when it does not exist, and returns 1. When the
// documents folder cannot be looked up, or gives no path, fills it with the module folder
// instead and returns 0.
int GetDataFolder(char* output, HINSTANCE module, UINT nameId);

// Sets `output` (at least MAX_PATH bytes) to "", then to the user's documents folder through
// SHGetFolderPathA, found by name in SHFOLDER.DLL or else SHELL32.DLL. Returns 1 when the
// lookup was found and called (the output stays empty when it gave no path), 0 when it is
// unavailable.
int GetDocumentsFolder(char* output);

// Fills `output` (DATA_PATH_SIZE bytes) with the drive and directory of `module`'s executable,
// ending with its backslash; "" when the path cannot be had.
void GetModuleFolder(HINSTANCE module, char* output);
