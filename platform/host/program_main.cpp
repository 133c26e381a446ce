// The host process entry: opens the emulated machine and runs the updater on it.
#include <iostream>
#include <string>

#include "app/entry.h"
#include "platform/host/machine/host.h"

int main() {
    std::string error;
    if (!platform::host::OpenMachineFromEnvironment(&error)) {
        std::cerr << "vkupdate: " << error << "\n";
        return 1;
    }
    int result = RunUpdater(platform::host::ModuleHandle());
    platform::host::CloseMachine();
    return result;
}
