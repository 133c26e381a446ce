// Installing every payload file of the running Windows family's routes.
#pragma once

#include "platform_types.h"

// Returns 1 when every row was installed (or scheduled) and the post-install steps ran; 0 after
// a failure, which it has already reported to the user.
int InstallPayloadFiles(HWND dialog, const char* installFolder);
