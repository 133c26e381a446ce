// The update run behind the Start button.
#pragma once

#include "platform_types.h"

// Performs one whole update, owning its message boxes through `dialog`. Returns 1 after a
// successful update, 0 otherwise; sets RestartPending after a success.
int RunUpdate(HWND dialog);
