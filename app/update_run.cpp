#include "app/update_run.h"

#include <cstdint>

#include "app/app_state.h"
#include "discovery/locate_installation.h"
#include "payload/install_engine.h"
#include "platform/dialogs.h"
#include "text/load_text.h"
#include "text/text_ids.h"

// Shows string `textId` under the updater's caption, loaded before the text.
static int ShowMessage(HWND dialog, UINT textId, UINT style) {
    const char* caption = LoadText(AppModule, IDS_CAPTION);
    const char* text = LoadText(AppModule, textId);
    return platform::MessageBoxA(dialog, text, caption, style);
}

int RunUpdate(HWND dialog) {
    UINT outcome = IDS_NOT_INSTALLED;
    uint32_t alreadyCurrent = 0;
    char installFolder[270] = {};

    if (LocateInstallation(dialog, installFolder, &alreadyCurrent)) {
        // Re-applying the update to the build it installs is the user's choice.
        if (alreadyCurrent != 0 &&
            ShowMessage(dialog, IDS_ALREADY_CURRENT, MB_YESNO | MB_ICONQUESTION) != IDYES) {
            return 0;
        }
        // A failed installation has reported itself; nothing more is shown.
        if (!InstallPayloadFiles(dialog, installFolder)) {
            return 0;
        }
        outcome = IDS_UPDATE_DONE;
    }

    ShowMessage(dialog, outcome, MB_OK | MB_ICONINFORMATION);
    // Set only once the user has closed the success message.
    if (outcome == IDS_UPDATE_DONE) {
        RestartPending = 1;
        return 1;
    }
    return 0;
}
