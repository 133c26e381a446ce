// Libraries loaded by name and module paths on the emulated machine. Two system libraries can
// be loaded, from the system folder: SHFOLDER.DLL, and SHELL32.DLL; KERNEL32.DLL is loaded
// with every process. A bare name is taken only
// for a known DLL of the machine's family, as Windows then loads it from the system folder
// whatever lies beside the program. With `shfolder = 1` in machine.ini SHFOLDER.DLL
// exports SHGetFolderPathA; with `shfolder = 0` it is missing and SHELL32.DLL lacks the
// function, as on Windows 95 and NT 4.0 without the later shell. The running program's own
// executable is <temp folder>\<name>.exe, where a downloaded updater is started from, <name>
// being the host program's as its command line gives it.
#include <errno.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "emulator/files/file_system.h"
#include "emulator/machine/machine_state.h"
#include "emulator/shell/shell_state.h"
#include "platform/files.h"
#include "platform/module.h"
#include "platform/shell.h"

namespace platform {
namespace {

struct Library {
    const char* name;
    int loads;  // LoadLibraryA calls not yet matched by FreeLibrary
};

Library libraries[] = {{"SHFOLDER.DLL", 0}, {"SHELL32.DLL", 0}, {"KERNEL32.DLL", 0}};
const size_t kShfolder = 0;
const size_t kKernel32 = 2;  // loaded with every process: GetModuleHandleA has it

HMODULE HandleOf(size_t index) {
    return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x7E000000u + 0x10000u * index));
}

// The loaded library of a handle, or nullptr.
Library* Loaded(HMODULE module) {
    for (size_t i = 0; i < sizeof libraries / sizeof libraries[0]; ++i)
        if (HandleOf(i) == module && (libraries[i].loads > 0 || i == kKernel32)) return &libraries[i];
    return nullptr;
}

// The folder of `name` (up to its last separator, without it; "" for a bare name) and its file
// name in upper case, with ".DLL" added when it has no extension.
void SplitLibraryName(const std::string& name, std::string* folder, std::string* file) {
    std::vector<std::string> chars = host::SplitCharacters(name);
    folder->clear();
    file->clear();
    std::string done;
    for (const std::string& c : chars) {
        done += c;
        if (c == "\\" || c == "/" || c == ":") {
            *folder = done.substr(0, c == ":" ? done.size() : done.size() - 1);
            file->clear();
            continue;
        }
        bool lower = c.size() == 1 && c[0] >= 'a' && c[0] <= 'z';
        *file += lower ? std::string(1, static_cast<char>(c[0] - 'a' + 'A')) : c;
    }
    if (file->find('.') == std::string::npos) *file += ".DLL";
}

// The libraries each family loads from the system folder when named bare: the default
// KnownDLLs of NT 4.0 (2000 and XP add to them); on 95/98/Me, the system's own core, loaded
// before any program.
const char* const kKnownNt[] = {"ADVAPI32.DLL", "COMDLG32.DLL", "CRTDLL.DLL", "GDI32.DLL",
                                "KERNEL32.DLL", "LZ32.DLL", "OLECLI32.DLL", "OLESVR32.DLL",
                                "RPCRT4.DLL", "SHELL32.DLL", "USER32.DLL", "VERSION.DLL"};
const char* const kKnown9x[] = {"GDI32.DLL", "KERNEL32.DLL", "USER32.DLL"};

bool KnownLibrary(const std::string& file) {
    if (host::Config().platformId == VER_PLATFORM_WIN32_NT) {
        for (const char* known : kKnownNt)
            if (file == known) return true;
        return false;
    }
    for (const char* known : kKnown9x)
        if (file == known) return true;
    return false;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR name) {
    if (host::InjectedFailure(host::Call::LoadLibraryA)) return nullptr;
    if (name == nullptr || *name == '\0') {
        host::SetError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string folder, file;
    SplitLibraryName(name, &folder, &file);
    // Named bare, a library that is not a known one of the family would be looked for first in
    // the folder the updater was started from: refused, so that no such load goes unseen.
    if (folder.empty() && !KnownLibrary(file)) {
        std::fprintf(stderr, "vkupdate: LoadLibraryA(\"%s\"): a bare name that is not a known DLL of this Windows\n",
                     host::Utf8(name).c_str());
        host::SetError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // The machine's libraries lie in its system folder and nowhere else.
    if (!folder.empty() && !host::SameName(folder, host::Config().system)) {
        host::SetError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    for (size_t i = 0; i < sizeof libraries / sizeof libraries[0]; ++i) {
        if (file != libraries[i].name) continue;
        if (i == kShfolder && !host::Config().shfolder) break;
        ++libraries[i].loads;
        return HandleOf(i);
    }
    host::SetError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (host::InjectedFailure(host::Call::GetProcAddress)) return nullptr;
    Library* library = Loaded(module);
    if (library == nullptr) {
        host::SetError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    bool named = !IS_INTRESOURCE(name);
    // KERNEL32.DLL has GetDiskFreeSpaceExA on every family but the first Windows 95 (4.0 of the
    // 95/98/Me family here: its second release, also 4.0, is taken to be the first).
    const host::MachineConfig& c = host::Config();
    bool firstWindows95 = c.platformId == VER_PLATFORM_WIN32_WINDOWS && c.major == 4 && c.minor == 0;
    if (library == &libraries[kKernel32]) {
        if (named && !firstWindows95 && std::strcmp(name, "GetDiskFreeSpaceExA") == 0) {
            GetDiskFreeSpaceExAProc proc = &host::GetDiskFreeSpaceExA;
            return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(proc));
        }
    // SHELL32.DLL gained the function with the same shell update that brought SHFOLDER.DLL.
    } else if (c.shfolder && named && std::strcmp(name, "SHGetFolderPathA") == 0) {
        SHGetFolderPathAProc proc = &host::SHGetFolderPathA;
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(proc));
    }
    host::SetError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

HMODULE GetModuleHandleA(LPCSTR name) {
    if (host::InjectedFailure(host::Call::GetModuleHandleA)) return nullptr;
    if (name == nullptr) return host::ModuleHandle();
    std::string folder, file;
    SplitLibraryName(name, &folder, &file);
    if (file == libraries[kKernel32].name && (folder.empty() || host::SameName(folder, host::Config().system)))
        return HandleOf(kKernel32);
    host::SetError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
    if (host::InjectedFailure(host::Call::FreeLibrary)) return FALSE;
    Library* library = Loaded(module);
    if (library == nullptr) {
        host::SetError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (library->loads > 0) --library->loads;
    return TRUE;
}

// As Windows 2000 and XP: a path that does not fit is cut to `size` characters without a
// terminating NUL, and the result is `size`.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    if (host::InjectedFailure(host::Call::GetModuleFileNameA)) return 0;
    std::string path;
    if (module == nullptr || module == host::ModuleHandle()) {
        path = host::Config().temp + program_invocation_short_name + ".exe";
    } else if (Library* library = Loaded(module)) {
        path = host::Config().system + "\\" + library->name;
    } else {
        host::SetError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (buffer == nullptr && size > 0) {
        host::SetError(ERROR_NOACCESS);
        return 0;
    }
    if (path.size() >= size) {
        std::memcpy(buffer, path.data(), size);
        host::SetError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    host::SetError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

}  // namespace platform
