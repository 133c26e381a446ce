#include "process/process_state.h"

#include <cstring>

#include "platform/system.h"

HINSTANCE AppModule = nullptr;
OSVERSIONINFOA OsVersionSnapshot;
int RestartPending = 0;

void InitProcessState(HINSTANCE module) {
    AppModule = module;
    RestartPending = 0;
    std::memset(&OsVersionSnapshot, 0, sizeof OsVersionSnapshot);
    OsVersionSnapshot.dwOSVersionInfoSize = sizeof OsVersionSnapshot;  // 148
    platform::GetVersionExA(&OsVersionSnapshot);
}
