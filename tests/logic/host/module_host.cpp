#include "logic/logic_fixture.h"
#include "emulator/machine/host.h"

HINSTANCE TestModule() { return platform::host::ModuleHandle(); }
