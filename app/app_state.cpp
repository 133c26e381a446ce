#include "app/app_state.h"

HINSTANCE AppModule = nullptr;
int RestartPending = 0;
OSVERSIONINFOA OsVersionSnapshot;
