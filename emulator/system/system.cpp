// System calls on the emulated machine: version, last error, privileges, restart.
#include <cstring>

#include "emulator/machine/host.h"
#include "emulator/machine/machine_state.h"
#include "platform/system.h"

namespace platform {
namespace {

thread_local DWORD lastError = 0;

// The emulated process token; its address is the token handle.
struct Token {
    bool shutdownEnabled = false;
} processToken;

const LUID kShutdownLuid = {19, 0};  // SE_SHUTDOWN_PRIVILEGE as Windows numbers it

}  // namespace

namespace host {
void SetError(DWORD error) { lastError = error; }
bool ShutdownPrivilegeEnabled() { return processToken.shutdownEnabled; }
void ResetProcessToken() { processToken = Token(); }
}  // namespace host

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD error) { lastError = error; }

UINT GetACP() { return host::MachineIsOpen() ? host::Config().codepage : 932; }

// Cannot fail on Windows, so it is neither counted nor open to injected faults.
BOOL IsDBCSLeadByte(BYTE c) { return host::IsLeadByte(c) ? TRUE : FALSE; }

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    if (host::InjectedFailure(host::Call::GetVersionExA)) return FALSE;
    const host::MachineConfig& c = host::Config();
    // Windows 2000 and later also fill the extended record (OSVERSIONINFOEXA, 156 bytes).
    const DWORD kExtendedSize = sizeof(OSVERSIONINFOA) + 8;
    bool extended = info != nullptr && info->dwOSVersionInfoSize == kExtendedSize &&
                    c.platformId == VER_PLATFORM_WIN32_NT && c.major >= 5;
    if (info == nullptr || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) && !extended)) {
        host::SetError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    info->dwMajorVersion = c.major;
    info->dwMinorVersion = c.minor;
    info->dwPlatformId = c.platformId;
    // Build numbers of the released systems; nothing of the updater reads them.
    info->dwBuildNumber = c.platformId == VER_PLATFORM_WIN32_NT ? (c.major == 5 && c.minor == 1 ? 2600 : 2195) : 0;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    if (extended) {
        // Service pack, suite mask, product type (1 = workstation) and a reserved byte.
        BYTE* tail = reinterpret_cast<BYTE*>(info) + sizeof(OSVERSIONINFOA);
        std::memset(tail, 0, 8);
        tail[6] = 1;
    }
    return TRUE;
}

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    if (host::InjectedFailure(host::Call::OpenProcessToken)) return FALSE;
    // The 95/98/Me family has no security: the call does not exist there.
    if (host::Config().platformId != VER_PLATFORM_WIN32_NT) {
        host::SetError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    if (process != GetCurrentProcess() || token == nullptr || access == 0) {
        host::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *token = &processToken;
    return TRUE;
}

BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) {
    if (host::InjectedFailure(host::Call::LookupPrivilegeValueA)) return FALSE;
    if (system != nullptr || name == nullptr || luid == nullptr ||
        std::strcmp(name, SE_SHUTDOWN_NAME) != 0) {
        host::SetError(ERROR_NO_SUCH_PRIVILEGE);
        return FALSE;
    }
    *luid = kShutdownLuid;
    return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD,
                           PTOKEN_PRIVILEGES, PDWORD) {
    if (host::InjectedFailure(host::Call::AdjustTokenPrivileges)) return FALSE;
    if (token != &processToken || newState == nullptr) {
        host::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (disableAll) {
        processToken.shutdownEnabled = false;
    } else {
        for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& p = newState->Privileges[i];
            if (p.Luid.LowPart == kShutdownLuid.LowPart && p.Luid.HighPart == kShutdownLuid.HighPart)
                processToken.shutdownEnabled = (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    host::SetError(ERROR_SUCCESS);
    return TRUE;
}

}  // namespace platform

namespace platform::host {
bool CloseOtherHandle(HANDLE handle) { return handle == &processToken; }
}  // namespace platform::host
