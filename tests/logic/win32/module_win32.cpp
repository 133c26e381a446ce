#include "logic/logic_fixture.h"

// The test program links the updater's .res, so its own module holds the resources.
HINSTANCE TestModule() { return ::GetModuleHandleA(nullptr); }
