// The folder the product keeps its data files in.
#pragma once

#include <cstddef>

#include "platform_types.h"

// Fills `output` (`outputSize` bytes) with the data folder: the documents folder joined with
// the string `nameId` of `module`, created when it does not exist, and returns 1. When the
// documents folder cannot be looked up, or gives no path, or the data folder's path does not
// fit, fills it with the module folder instead and returns 0.
int GetDataFolder(char* output, size_t outputSize, HINSTANCE module, UINT nameId);
