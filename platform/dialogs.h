// Dialog, control and drawing calls of the main dialog and its message boxes.
#pragma once

#include "platform_types.h"

namespace platform {

INT_PTR DialogBoxParamA(HINSTANCE module, LPCSTR templateName, HWND owner, DLGPROC proc,
                        LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL SetWindowTextA(HWND window, LPCSTR text);
LONG GetWindowLongA(HWND window, int index);
HWND GetParent(HWND window);
BOOL GetWindowRect(HWND window, LPRECT rect);
BOOL ScreenToClient(HWND window, LPPOINT point);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
void InitCommonControls();

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
BOOL DeleteObject(HGDIOBJ object);
HGDIOBJ GetStockObject(int object);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF SetTextColor(HDC dc, COLORREF color);
HIMAGELIST ImageList_Create(int width, int height, UINT flags, int initial, int grow);
int ImageList_AddMasked(HIMAGELIST list, HBITMAP bitmap, COLORREF mask);
BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style);
BOOL ImageList_Destroy(HIMAGELIST list);

}  // namespace platform
