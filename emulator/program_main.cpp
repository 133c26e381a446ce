// The host process entry: opens the emulated machine and runs the updater on it, its dialog
// driven from the terminal or by a script on standard input.
#include <unistd.h>

#include <iostream>
#include <string>

#include "app/entry.h"
#include "emulator/dialogs/host_dialog.h"
#include "emulator/machine/host.h"

int main() {
    // A script answers the main dialog by its Start and Exit buttons.
    platform::host::SetDialogIo(&std::cin, &std::cout, isatty(0) != 0, {{"start", IDOK}, {"exit", IDCANCEL}});
    std::string error;
    if (!platform::host::OpenMachineFromEnvironment(&error)) {
        std::cerr << "vkupdate: " << error << "\n";
        return 1;
    }
    int result = RunUpdater(platform::host::ModuleHandle());
    // The updater ignores the dialog's result, as on Windows; the host does not let a dialog
    // that never ran pass as a run.
    DWORD failure = platform::host::DialogFailure();
    platform::host::CloseMachine();
    if (failure != ERROR_SUCCESS) {
        std::cerr << "vkupdate: the main dialog could not be shown: " << platform::host::ErrorText(failure) << "\n";
        return 1;
    }
    return result;
}
