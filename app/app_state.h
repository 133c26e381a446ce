// The updater's process-wide state: its module, the restart flag and the system version.
#pragma once

#include "platform_types.h"

// The updater's own module; every resource and string comes from it.
extern HINSTANCE AppModule;
// 1 once an update has succeeded in this process; never cleared again.
extern int RestartPending;
// The system version, captured once at start-up.
extern OSVERSIONINFOA OsVersionSnapshot;
