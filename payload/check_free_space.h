// Whether the drives an update writes have room for it, checked before its first write.
#pragma once

#include <cstddef>

#include "payload/install_routes.h"

// Lists the data files a run moves once its files are installed: calls `visit` with each
// one's name in the install folder.
typedef void (*FileNameVisitor)(const char* name, void* context);
typedef void (*DataFileLister)(const char* installFolder, FileNameVisitor visit, void* context);

// Returns 1 when each drive the `routeCount` routes write has room for the most the run holds
// on it at any one time; otherwise 0, with `failedPath` (`failedPathSize` bytes) naming the
// folder whose write would find its drive full. `dataFolder` is where `listDataFiles` names
// the files that move ("" when none move). A drive whose free space cannot be read is not
// counted: the run itself will tell. Nothing is written.
int CheckFreeSpace(const InstallRoute* const* routes, int routeCount, const char* stagingFolder,
                   const char* installFolder, const char* systemFolder, const char* dataFolder,
                   DataFileLister listDataFiles, char* failedPath, size_t failedPathSize);
