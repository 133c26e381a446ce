// The system libraries the executable does not import: every one but kernel32, user32 and
// gdi32, which each Windows it runs on takes from the system folder whatever lies beside the
// program (tests/win/check_exe.py says from where that is known). Each is loaded on first use
// from the system folder by its full path, never by its bare name, which would look first in
// the folder the updater was started from; its functions are looked up by name.
#pragma once

#include "platform_types.h"

namespace platform {

enum SystemLibrary { ADVAPI32_DLL, COMCTL32_DLL, OLE32_DLL, SHELL32_DLL, VERSION_DLL, SYSTEM_LIBRARY_COUNT };

// The function `name` of `library`, loading the library first if it is not loaded yet; nullptr
// with the last error set when the library does not load or lacks the function.
FARPROC SystemFunction(SystemLibrary library, const char* name);

// SystemFunction as a pointer of the type of the system's declaration `Function`:
// SystemFunctionAs<decltype(&::RegCloseKey)>(ADVAPI32_DLL, "RegCloseKey").
template <typename Function>
Function SystemFunctionAs(SystemLibrary library, const char* name) {
    // Through void (*)(), which converts to any function pointer type without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(SystemFunction(library, name)));
}

}  // namespace platform

// A call of the system function `name` of `library` with the arguments that follow, or
// `failure` when it cannot be found (its last error then says why).
#define CALL_SYSTEM_FUNCTION(library, name, failure, ...)                                   \
    do {                                                                                     \
        auto function = platform::SystemFunctionAs<decltype(&::name)>(library, #name);      \
        if (function == nullptr) return failure;                                             \
        return function(__VA_ARGS__);                                                        \
    } while (0)
