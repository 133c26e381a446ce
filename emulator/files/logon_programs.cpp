// The programs Windows starts when the user logs on: every value of the Run keys of
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER whose command names an existing program. Each runs
// (its image held) until it ends (vkmachine stop) or the machine restarts.
#include <cstring>

#include "emulator/files/file_system.h"
#include "emulator/machine/host.h"
#include "emulator/machine/machine_state.h"
#include "emulator/registry/registry_store.h"

namespace platform::host {
namespace {

// The program a command line starts, found as CreateProcess finds it: a quoted name, or the
// shortest run of words up to a space that names an existing file.
bool ProgramOf(std::string command, Target* program) {
    if (!command.empty() && command[0] == '"') {
        size_t end = command.find('"', 1);
        command = command.substr(1, end == std::string::npos ? std::string::npos : end - 1);
        return ResolveTarget(command.c_str(), program) == ERROR_SUCCESS && program->exists && !program->isDir;
    }
    for (size_t space = command.find(' ');; space = command.find(' ', space + 1)) {
        std::string name = command.substr(0, space);
        if (ResolveTarget(name.c_str(), program) == ERROR_SUCCESS && program->exists && !program->isDir) return true;
        if (space == std::string::npos) return false;
    }
}

}  // namespace

DWORD StartLogonPrograms(std::string* report) {
    MachineLock lock;
    std::vector<Hold> holds = LoadHolds();
    bool started = false;
    for (int root : {kLocalMachine, kCurrentUser}) {
        const RegKey* run =
            RegFindKey(Registry(), root, {"SOFTWARE", "Microsoft", "Windows", "CurrentVersion", "Run"});
        if (run == nullptr) continue;
        for (const RegValue& v : run->values()) {
            Target program;
            if ((v.type != REG_SZ && v.type != REG_EXPAND_SZ) ||
                !ProgramOf(std::string(v.data.c_str(), strnlen(v.data.data(), v.data.size())), &program))
                continue;
            Hold h;
            h.key = MachineKey(program.host);
            h.read = h.image = true;
            holds.push_back(h);
            started = true;
            *report += "start " + Utf8(program.win.Text()) + "\n";
        }
    }
    return started ? SaveHolds(holds) : ERROR_SUCCESS;
}

}  // namespace platform::host
