// Module calls the logic makes: libraries loaded by name at run time, and the path of a
// module's executable. The ANSI Win32 calls, same arguments and results.
#pragma once

#include "platform_types.h"

namespace platform {

HMODULE LoadLibraryA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
// A module this process has loaded already (KERNEL32.DLL): no load, nothing to free.
HMODULE GetModuleHandleA(LPCSTR name);

}  // namespace platform
