// The updater's dialog: its message handler and what each message does.
#include "app/main_dialog.h"

#include "app/restart.h"
#include "app/update_run.h"
#include "platform/dialogs.h"
#include "platform/resources.h"
#include "process/process_state.h"
#include "resources/resource.h"
#include "text/show_message.h"
#include "text/text_ids.h"

void InitMainDialog(HWND dialog) {
    platform::InitCommonControls();
    platform::SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    // The welcome text ends with NUL bytes in the resource, so it is shown straight from there.
    HRSRC found = platform::FindResourceExA(AppModule, RT_RCDATA, MAKEINTRESOURCEA(IDR_WELCOME_TEXT),
                                            MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    HGLOBAL loaded = found != nullptr ? platform::LoadResource(AppModule, found) : nullptr;
    const char* text = loaded != nullptr ? static_cast<const char*>(platform::LockResource(loaded)) : nullptr;
    if (text != nullptr) platform::SetWindowTextA(platform::GetDlgItem(dialog, IDC_WELCOME_TEXT), text);
}

#define LOGO_WIDTH 110
#define LOGO_HEIGHT 28

void PaintLogo(HWND dialog) {
    PAINTSTRUCT paint;
    HDC dc = platform::BeginPaint(dialog, &paint);
    HBITMAP logo = platform::LoadBitmapA(AppModule, MAKEINTRESOURCEA(IDB_LOGO));

    // The hidden frame marks the logo's top-left corner, in the dialog's client coordinates.
    HWND frame = platform::GetDlgItem(dialog, IDC_LOGO_FRAME);
    RECT rect = {0, 0, 0, 0};
    platform::GetWindowRect(frame, &rect);
    POINT corner = {rect.left, rect.top};
    platform::ScreenToClient(platform::GetParent(frame), &corner);

    // White pixels become transparent: the logo sits on the dialog's own background.
    HIMAGELIST list = platform::ImageList_Create(LOGO_WIDTH, LOGO_HEIGHT, ILC_MASK | ILC_COLORDDB, 1, 1);
    platform::ImageList_AddMasked(list, logo, RGB(255, 255, 255));
    platform::ImageList_Draw(list, 0, dc, corner.x, corner.y, ILD_TRANSPARENT);

    platform::ImageList_Destroy(list);
    platform::DeleteObject(logo);
    platform::EndPaint(dialog, &paint);
}

INT_PTR TextBoxColors(HDC dc, HWND control) {
    if (platform::GetWindowLongA(control, GWL_ID) != IDC_WELCOME_TEXT) return FALSE;
    platform::SetBkColor(dc, RGB(255, 255, 255));
    platform::SetTextColor(dc, RGB(0, 0, 0));
    return reinterpret_cast<INT_PTR>(platform::GetStockObject(WHITE_BRUSH));
}

void StartCommand(HWND dialog) {
    platform::EnableWindow(platform::GetDlgItem(dialog, IDOK), FALSE);
    platform::EnableWindow(platform::GetDlgItem(dialog, IDCANCEL), FALSE);
    RunUpdate(dialog);
    platform::EnableWindow(platform::GetDlgItem(dialog, IDOK), TRUE);
    platform::EnableWindow(platform::GetDlgItem(dialog, IDCANCEL), TRUE);
}

void ExitCommand(HWND dialog) {
    if (RestartPending == 0) {
        platform::EndDialog(dialog, 0);
        return;
    }
    if (ShowMessage(dialog, nullptr, IDS_RESTART_QUESTION, MB_YESNO | MB_ICONINFORMATION) != IDYES) {
        platform::EndDialog(dialog, 0);
        return;
    }
    // The dialog stays open: the system's shutdown ends the process.
    RequestRestart();
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        InitMainDialog(dialog);
        return TRUE;  // the platform focuses the first tab stop: Start
    case WM_PAINT:
        PaintLogo(dialog);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return TextBoxColors(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_COMMAND:
        // The notification code in the high word is not looked at: Enter, Alt+S and a click
        // all arrive as command 1; Esc, Alt+C and a click as command 2.
        if (LOWORD(wParam) == IDOK) StartCommand(dialog);
        if (LOWORD(wParam) == IDCANCEL) ExitCommand(dialog);
        return TRUE;
    default:
        return FALSE;
    }
}
