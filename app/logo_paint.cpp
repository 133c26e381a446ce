#include "app/app_state.h"
#include "app/main_dialog.h"
#include "platform/dialogs.h"
#include "platform/resources.h"
#include "resources/resource.h"

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
