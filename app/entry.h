// The updater's entry point, called by the process entry of each build.
#pragma once

#include "platform_types.h"

// Keeps the module, clears RestartPending, captures the OsVersionSnapshot and runs the main
// dialog until it ends. Returns 0.
int RunUpdater(HINSTANCE module);
