#include "app/main_dialog.h"

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
