// System calls: straight to kernel32 and user32, and to advapi32 loaded from the system folder.
#include "platform/system.h"
#include "platform/win32/system_libraries.h"

namespace platform {

BOOL GetVersionExA(LPOSVERSIONINFOA info) { return ::GetVersionExA(info); }
DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD error) { ::SetLastError(error); }
UINT GetACP() { return ::GetACP(); }
BOOL IsDBCSLeadByte(BYTE c) { return ::IsDBCSLeadByte(c); }
int lstrcmpiA(LPCSTR a, LPCSTR b) { return ::lstrcmpiA(a, b); }
HANDLE GetCurrentProcess() { return ::GetCurrentProcess(); }

BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    CALL_SYSTEM_FUNCTION(ADVAPI32_DLL, OpenProcessToken, FALSE, process, access, token);
}

BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) {
    CALL_SYSTEM_FUNCTION(ADVAPI32_DLL, LookupPrivilegeValueA, FALSE, system, name, luid);
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD size,
                           PTOKEN_PRIVILEGES previous, PDWORD returnedSize) {
    CALL_SYSTEM_FUNCTION(ADVAPI32_DLL, AdjustTokenPrivileges, FALSE, token, disableAll, newState, size,
                         previous, returnedSize);
}

BOOL ExitWindowsEx(UINT flags, DWORD reason) { return ::ExitWindowsEx(flags, reason); }

}  // namespace platform
