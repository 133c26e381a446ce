// Module calls: straight to kernel32.
#include "platform/module.h"

namespace platform {

// The logic loads libraries by full path only (the host refuses a bare name). Windows then
// looks for the libraries that one imports in its own folder before the updater's.
HMODULE LoadLibraryA(LPCSTR name) { return ::LoadLibraryExA(name, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH); }
FARPROC GetProcAddress(HMODULE module, LPCSTR name) { return ::GetProcAddress(module, name); }
BOOL FreeLibrary(HMODULE module) { return ::FreeLibrary(module); }
HMODULE GetModuleHandleA(LPCSTR name) { return ::GetModuleHandleA(name); }

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    return ::GetModuleFileNameA(module, buffer, size);
}

}  // namespace platform
