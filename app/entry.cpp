#include "app/entry.h"

#include "app/main_dialog.h"
#include "platform/dialogs.h"
#include "process/process_state.h"
#include "resources/resource.h"

int RunUpdater(HINSTANCE module) {
    InitProcessState(module);
    platform::DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
    return 0;
}
