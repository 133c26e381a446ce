// System calls the logic makes: version, last error, privileges and restart.
#pragma once

#include "platform_types.h"

namespace platform {

BOOL GetVersionExA(LPOSVERSIONINFOA info);
DWORD GetLastError();
void SetLastError(DWORD error);
UINT GetACP();
// Whether `c` starts a double-byte character in the ANSI code page.
BOOL IsDBCSLeadByte(BYTE c);
// Compares two texts without regard to letter case; 0 when equal.
int lstrcmpiA(LPCSTR a, LPCSTR b);
HANDLE GetCurrentProcess();
BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid);
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD size,
                           PTOKEN_PRIVILEGES previous, PDWORD returnedSize);
BOOL ExitWindowsEx(UINT flags, DWORD reason);

}  // namespace platform
