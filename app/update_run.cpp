// The road of an update: locate the installation, ask before re-applying the update to the
// build it installs, install, report the outcome.
#include "app/update_run.h"

#include <cstdint>

#include "discovery/locate_installation.h"
#include "payload/finish_interrupted_replacement.h"
#include "payload/install_engine.h"
#include "platform/dialogs.h"
#include "process/process_state.h"
#include "resources/resource.h"
#include "text/path_text.h"
#include "text/show_message.h"
#include "text/text_ids.h"

namespace {

// The engine's progress, on the dialog's bar.
void ShowProgress(HWND dialog, int position) {
    platform::SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

}  // namespace

int RunUpdate(HWND dialog) {
    UINT outcome = IDS_NOT_INSTALLED;
    uint32_t alreadyCurrent = 0;
    char installFolder[PATH_BUFFER_SIZE] = {};

    // An update stopped between deleting the old executable and renaming the new one left the
    // new one under its temp name: it is put in place before each folder is probed, or the
    // folder could not be known.
    if (LocateInstallation(dialog, installFolder, sizeof installFolder, &alreadyCurrent,
                           FinishInterruptedReplacement)) {
        // Re-applying the update to the build it installs is the user's choice.
        if (alreadyCurrent != 0 &&
            ShowMessage(dialog, nullptr, IDS_ALREADY_CURRENT, MB_YESNO | MB_ICONQUESTION) != IDYES) {
            return 0;
        }
        // A failed installation has reported itself; nothing more is shown.
        const InstallDialog engineDialog = {dialog, ShowProgress};
        if (!InstallPayloadFiles(engineDialog, installFolder)) {
            return 0;
        }
        outcome = IDS_UPDATE_DONE;
    }

    ShowMessage(dialog, nullptr, outcome, MB_OK | MB_ICONINFORMATION);
    // Set only once the user has closed the success message.
    if (outcome == IDS_UPDATE_DONE) {
        RestartPending = 1;
        return 1;
    }
    return 0;
}
