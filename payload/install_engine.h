// Installing every payload file of the running Windows family's routes.
#pragma once

#include "platform_types.h"

// The dialog as the engine reaches it, handed over by the run: the owner of the engine's
// message boxes, and the progress bar, which the run moves for it.
struct InstallDialog {
    HWND owner;
    void (*showProgress)(HWND owner, int position);  // the bar's new position; nullptr: no bar
};

// Checks every target, installs the common route's rows and then the family's (moving the bar
// after each common row), registers the driver service where the family's route does, then
// runs the post-install steps: settings defaults, data-file relocation, program shortcut.
// Returns 1 when every row was installed (or scheduled) and the post-install steps ran; 0 after
// a failure, which it has already reported to the user: the failing file's path (a common row,
// or a target the checks refused) under the caption, then the I/O-error text.
int InstallPayloadFiles(const InstallDialog& dialog, const char* installFolder);
