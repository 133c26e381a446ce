// The folder of a module's executable.
#pragma once

#include <cstddef>

#include "platform_types.h"

// Fills `output` (`outputSize` bytes) with the drive and directory of `module`'s executable,
// ending with its backslash; "" when the path cannot be had or does not fit.
void GetModuleFolder(HINSTANCE module, char* output, size_t outputSize);
