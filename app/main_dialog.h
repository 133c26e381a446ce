// The updater's one window: the modal dialog IDD_MAIN and the commands behind its buttons.
#pragma once

#include "platform_types.h"

// The dialog's message handler. Handles WM_INITDIALOG, WM_PAINT, WM_CTLCOLORSTATIC and
// WM_COMMAND; everything else gets the default dialog handling.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// WM_INITDIALOG: progress range, welcome text.
void InitMainDialog(HWND dialog);
// WM_PAINT: the logo, drawn transparently at the hidden frame's corner.
void PaintLogo(HWND dialog);
// WM_CTLCOLORSTATIC: white background and black text for the welcome text only.
INT_PTR TextBoxColors(HDC dc, HWND control);
// WM_COMMAND 1: disables both buttons around the update run.
void StartCommand(HWND dialog);
// WM_COMMAND 2: leaves the dialog, offering the restart after a successful update.
void ExitCommand(HWND dialog);
