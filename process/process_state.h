// The updater's process-wide state: its module, the system version and the restart flag. The
// entry point sets it before anything else runs; the run and its steps read it.
#pragma once

#include "platform_types.h"

// The updater's own module; every resource and string comes from it.
extern HINSTANCE AppModule;
// The system version, captured once at start-up.
extern OSVERSIONINFOA OsVersionSnapshot;
// 1 once an update has succeeded in this process; never cleared again.
extern int RestartPending;

// Keeps `module`, clears RestartPending and captures the OsVersionSnapshot (all zero but its
// size when the system does not give it).
void InitProcessState(HINSTANCE module);
