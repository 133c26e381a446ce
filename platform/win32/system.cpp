// System calls: straight to kernel32, advapi32 and user32.
#include "platform/system.h"

namespace platform {

BOOL GetVersionExA(LPOSVERSIONINFOA info) { return ::GetVersionExA(info); }
DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD error) { ::SetLastError(error); }
UINT GetACP() { return ::GetACP(); }
BOOL IsDBCSLeadByte(BYTE c) { return ::IsDBCSLeadByte(c); }
int lstrcmpiA(LPCSTR a, LPCSTR b) { return ::lstrcmpiA(a, b); }
HANDLE GetCurrentProcess() { return ::GetCurrentProcess(); }

BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    return ::OpenProcessToken(process, access, token);
}

BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) {
    return ::LookupPrivilegeValueA(system, name, luid);
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD size,
                           PTOKEN_PRIVILEGES previous, PDWORD returnedSize) {
    return ::AdjustTokenPrivileges(token, disableAll, newState, size, previous, returnedSize);
}

BOOL ExitWindowsEx(UINT flags, DWORD reason) { return ::ExitWindowsEx(flags, reason); }

}  // namespace platform
