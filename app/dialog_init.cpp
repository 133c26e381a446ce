#include "app/app_state.h"
#include "app/main_dialog.h"
#include "platform/dialogs.h"
#include "platform/resources.h"
#include "resources/resource.h"

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
