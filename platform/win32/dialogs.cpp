// Dialog, control and drawing calls: straight to user32 and gdi32, and to comctl32 loaded from
// the system folder.
#include "platform/dialogs.h"
#include "platform/win32/system_libraries.h"

namespace platform {

INT_PTR DialogBoxParamA(HINSTANCE module, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param) {
    return ::DialogBoxParamA(module, templateName, owner, proc, param);
}

BOOL EndDialog(HWND dialog, INT_PTR result) { return ::EndDialog(dialog, result); }
HWND GetDlgItem(HWND dialog, int id) { return ::GetDlgItem(dialog, id); }

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendDlgItemMessageA(dialog, id, message, wParam, lParam);
}

BOOL EnableWindow(HWND window, BOOL enable) { return ::EnableWindow(window, enable); }
BOOL SetWindowTextA(HWND window, LPCSTR text) { return ::SetWindowTextA(window, text); }
LONG GetWindowLongA(HWND window, int index) { return ::GetWindowLongA(window, index); }
HWND GetParent(HWND window) { return ::GetParent(window); }
BOOL GetWindowRect(HWND window, LPRECT rect) { return ::GetWindowRect(window, rect); }
BOOL ScreenToClient(HWND window, LPPOINT point) { return ::ScreenToClient(window, point); }

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    return ::MessageBoxA(owner, text, caption, style);
}

void InitCommonControls() {
    if (auto function = SystemFunctionAs<decltype(&::InitCommonControls)>(COMCTL32_DLL, "InitCommonControls"))
        function();
}
HDC BeginPaint(HWND window, LPPAINTSTRUCT paint) { return ::BeginPaint(window, paint); }
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) { return ::EndPaint(window, paint); }
BOOL DeleteObject(HGDIOBJ object) { return ::DeleteObject(object); }
HGDIOBJ GetStockObject(int object) { return ::GetStockObject(object); }
COLORREF SetBkColor(HDC dc, COLORREF color) { return ::SetBkColor(dc, color); }
COLORREF SetTextColor(HDC dc, COLORREF color) { return ::SetTextColor(dc, color); }

HIMAGELIST ImageList_Create(int width, int height, UINT flags, int initial, int grow) {
    CALL_SYSTEM_FUNCTION(COMCTL32_DLL, ImageList_Create, nullptr, width, height, flags, initial, grow);
}

int ImageList_AddMasked(HIMAGELIST list, HBITMAP bitmap, COLORREF mask) {
    CALL_SYSTEM_FUNCTION(COMCTL32_DLL, ImageList_AddMasked, -1, list, bitmap, mask);
}

BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style) {
    CALL_SYSTEM_FUNCTION(COMCTL32_DLL, ImageList_Draw, FALSE, list, index, dc, x, y, style);
}

BOOL ImageList_Destroy(HIMAGELIST list) { CALL_SYSTEM_FUNCTION(COMCTL32_DLL, ImageList_Destroy, FALSE, list); }

}  // namespace platform
