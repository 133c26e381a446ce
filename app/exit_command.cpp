#include "app/app_state.h"
#include "app/main_dialog.h"
#include "platform/dialogs.h"
#include "text/load_text.h"
#include "text/text_ids.h"

void ExitCommand(HWND dialog) {
    if (RestartPending == 0) {
        platform::EndDialog(dialog, 0);
        return;
    }
    const char* caption = LoadText(AppModule, IDS_CAPTION);
    const char* text = LoadText(AppModule, IDS_RESTART_QUESTION);
    if (platform::MessageBoxA(dialog, text, caption, MB_YESNO | MB_ICONINFORMATION) != IDYES) {
        platform::EndDialog(dialog, 0);
        return;
    }
    // The dialog stays open: the system's shutdown ends the process.
    RequestRestart();
}
