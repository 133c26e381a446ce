// Module calls: straight to kernel32.
#include "platform/module.h"

namespace platform {

HMODULE LoadLibraryA(LPCSTR name) { return ::LoadLibraryA(name); }
FARPROC GetProcAddress(HMODULE module, LPCSTR name) { return ::GetProcAddress(module, name); }
BOOL FreeLibrary(HMODULE module) { return ::FreeLibrary(module); }

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    return ::GetModuleFileNameA(module, buffer, size);
}

}  // namespace platform
