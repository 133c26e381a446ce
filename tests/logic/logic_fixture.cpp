#include "logic/logic_fixture.h"

#include "app/app_state.h"

void Logic::SetUp() {
    Contract::SetUp();
    AppModule = TestModule();
    RestartPending = 0;
    OsVersionSnapshot = OSVERSIONINFOA();
    OsVersionSnapshot.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    platform::GetVersionExA(&OsVersionSnapshot);
}
