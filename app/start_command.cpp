#include "app/main_dialog.h"
#include "app/update_run.h"
#include "platform/dialogs.h"

void StartCommand(HWND dialog) {
    platform::EnableWindow(platform::GetDlgItem(dialog, IDOK), FALSE);
    platform::EnableWindow(platform::GetDlgItem(dialog, IDCANCEL), FALSE);
    RunUpdate(dialog);
    platform::EnableWindow(platform::GetDlgItem(dialog, IDOK), TRUE);
    platform::EnableWindow(platform::GetDlgItem(dialog, IDCANCEL), TRUE);
}
