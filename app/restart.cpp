#include "app/restart.h"
#include "platform/files.h"
#include "platform/system.h"
#include "process/process_state.h"

void RequestRestart() {
    // The NT family lets only a process holding the shutdown privilege restart the system.
    if (OsVersionSnapshot.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) {
        HANDLE token = nullptr;
        if (platform::OpenProcessToken(platform::GetCurrentProcess(),
                                       TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
            TOKEN_PRIVILEGES privileges = {};
            privileges.PrivilegeCount = 1;
            privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
            platform::LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
            platform::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
            platform::CloseHandle(token);
        }
    }
    platform::ExitWindowsEx(EWX_REBOOT, 0);
}
