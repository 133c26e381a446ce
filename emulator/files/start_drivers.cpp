// The drivers Windows NT loads as it starts: every service of a kernel or file-system driver
// type whose start type is boot, system or automatic, from its ImagePath or, without one, from
// Drivers\<service>.SYS in the system folder. A loaded driver's file is held as an image until
// the next restart. 95/98/Me hold no file of the VxDs they load (read into memory at start).
#include <cstring>

#include "emulator/files/file_system.h"
#include "emulator/machine/host.h"
#include "emulator/machine/machine_state.h"
#include "emulator/registry/registry_store.h"

namespace platform::host {
namespace {

const DWORD kKernelDriver = 1;
const DWORD kFileSystemDriver = 2;
const DWORD kAutoStart = 2;  // boot (0) and system (1) come before it

bool DwordValue(const RegKey& key, const char* name, DWORD* number) {
    const RegValue* v = key.FindValue(name);
    if (v == nullptr || v->type != REG_DWORD || v->data.size() != 4) return false;
    std::memcpy(number, v->data.data(), 4);
    return true;
}

bool StartsWith(const std::string& text, const char* prefix) {
    size_t n = std::strlen(prefix);
    return text.size() >= n && SameName(text.substr(0, n), prefix);
}

// The driver's file as the loader finds it: "\??\C:\...", "C:\...", "\SystemRoot\...",
// "%SystemRoot%\..." or a path below the Windows folder ("System32\Drivers\x.sys").
std::string ImageFile(const RegKey& service) {
    const std::string& system = Config().system;
    const RegValue* v = service.FindValue("ImagePath");
    if (v == nullptr || (v->type != REG_SZ && v->type != REG_EXPAND_SZ))
        return system + "\\Drivers\\" + service.name + ".SYS";
    std::string path(v->data.c_str(), strnlen(v->data.data(), v->data.size()));
    size_t cut = system.rfind('\\');
    std::string windows = cut == std::string::npos ? system : system.substr(0, cut);
    if (StartsWith(path, "\\??\\")) return path.substr(4);
    if (StartsWith(path, "\\SystemRoot\\")) return windows + path.substr(11);
    if (StartsWith(path, "%SystemRoot%\\")) return windows + path.substr(12);
    if (path.size() >= 2 && path[1] == ':') return path;
    return windows + "\\" + path;
}

}  // namespace

DWORD LoadStartDrivers(std::string* report) {
    if (Config().platformId == 1) return ERROR_SUCCESS;
    MachineLock lock;
    const RegKey* services = RegFindKey(Registry(), kLocalMachine, {"SYSTEM", "CurrentControlSet", "Services"});
    if (services == nullptr) return ERROR_SUCCESS;
    std::vector<Hold> holds = LoadHolds();
    bool loaded = false;
    for (const RegKey& service : services->subkeys) {
        DWORD type = 0, start = 0;
        if (!DwordValue(service, "Type", &type) || (type != kKernelDriver && type != kFileSystemDriver) ||
            !DwordValue(service, "Start", &start) || start > kAutoStart)
            continue;
        Target t;
        std::string image = ImageFile(service);
        if (ResolveTarget(image.c_str(), &t) != ERROR_SUCCESS || !t.exists || t.isDir) continue;
        Hold h;
        h.key = MachineKey(t.host);
        bool held = false;
        for (const Hold& other : holds) held = held || (other.key == h.key && other.driver);
        if (held) continue;
        h.read = true;
        h.image = h.driver = true;
        holds.push_back(h);
        loaded = true;
        *report += "load driver " + Utf8(image) + "\n";
    }
    return loaded ? SaveHolds(holds) : ERROR_SUCCESS;
}

}  // namespace platform::host
