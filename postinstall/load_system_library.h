// A library loaded from the system folder by its full path.
#pragma once

#include "platform_types.h"

// The library `name` (such as "SHFOLDER.DLL") loaded from the system folder by its full path;
// nullptr when the system folder cannot be had, the path does not fit or the library does not
// load there.
HMODULE LoadSystemLibrary(const char* name);
