#include "logic/logic_fixture.h"
#include "platform/host/machine/host.h"

HINSTANCE TestModule() { return platform::host::ModuleHandle(); }
