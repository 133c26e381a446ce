// Moving the product's data files into the user's documents folder.
#pragma once

#include <cstddef>

#include "platform_types.h"

void RelocateDataFiles(const char* installFolder);

// Calls `visit` with the name of each data file of the install folder, in the order they move:
// "VKCDDB.DB" and "CHG.LOG" (whether or not they are there), then every "*.LST" found.
typedef void (*DataFileVisitor)(const char* name, void* context);
void ForEachDataFile(const char* installFolder, DataFileVisitor visit, void* context);

// Fills `output` (`outputSize` bytes) with the data folder: the documents folder joined with
// the string `nameId` of `module`, created when it does not exist, and returns 1. When the
// documents folder cannot be looked up, or gives no path, or the data folder's path does not
// fit, fills it with the module folder instead and returns 0.
int GetDataFolder(char* output, size_t outputSize, HINSTANCE module, UINT nameId);

// Sets `output` (`outputSize` bytes, at least MAX_PATH: the lookup fills that many) to "", then
// to the user's documents folder through SHGetFolderPathA, found by name in SHFOLDER.DLL or else
// SHELL32.DLL, each loaded from the system folder. Returns 1 when the lookup was found and called (the output stays empty when it
// gave no path), 0 when it is unavailable or the buffer is smaller than MAX_PATH.
int GetDocumentsFolder(char* output, size_t outputSize);

// The library `name` (such as "SHFOLDER.DLL") loaded from the system folder by its full path;
// nullptr when the system folder cannot be had, the path does not fit or the library does not
// load there.
HMODULE LoadSystemLibrary(const char* name);

// Fills `output` (`outputSize` bytes) with the drive and directory of `module`'s executable,
// ending with its backslash; "" when the path cannot be had or does not fit.
void GetModuleFolder(HINSTANCE module, char* output, size_t outputSize);
