#include "app/entry.h"

#include <cstring>

#include "app/app_state.h"
#include "app/main_dialog.h"
#include "platform/dialogs.h"
#include "platform/system.h"
#include "resources/resource.h"

int RunUpdater(HINSTANCE module) {
    AppModule = module;
    RestartPending = 0;
    std::memset(&OsVersionSnapshot, 0, sizeof OsVersionSnapshot);
    OsVersionSnapshot.dwOSVersionInfoSize = sizeof OsVersionSnapshot;  // 148
    platform::GetVersionExA(&OsVersionSnapshot);
    platform::DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
    return 0;
}
