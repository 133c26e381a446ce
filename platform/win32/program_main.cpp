// The Windows process entry: makes the common controls' window classes available, then hands
// the module to the updater's entry point.
#include "app/entry.h"
#include "platform/dialogs.h"

// The dialog's template names the progress bar's window class, which comctl32 registers. Not
// imported (Windows would look for it beside the updater first), comctl32 is loaded here from
// the system folder before the dialog is made, as its import loaded it before: a control whose
// class is missing makes DialogBoxParamA fail, and some versions of Windows load comctl32 for
// the class themselves, by its bare name.
int WINAPI WinMain(HINSTANCE module, HINSTANCE, LPSTR, int) {
    platform::InitCommonControls();
    return RunUpdater(module);
}
