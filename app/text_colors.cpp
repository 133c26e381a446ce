#include "app/main_dialog.h"
#include "platform/dialogs.h"
#include "resources/resource.h"

INT_PTR TextBoxColors(HDC dc, HWND control) {
    if (platform::GetWindowLongA(control, GWL_ID) != IDC_WELCOME_TEXT) return FALSE;
    platform::SetBkColor(dc, RGB(255, 255, 255));
    platform::SetTextColor(dc, RGB(0, 0, 0));
    return reinterpret_cast<INT_PTR>(platform::GetStockObject(WHITE_BRUSH));
}
