#include "app/update_run.h"

// The update road (locate, identify, install, report) is built subsystem by subsystem; until
// the installation subsystems exist there is nothing to run, and nothing is reported.
int RunUpdate(HWND) { return 0; }
