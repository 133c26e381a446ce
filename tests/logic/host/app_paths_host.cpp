// The host machine is made fresh for every test: its App Paths entry goes with it.
#include "logic/discovery_support.h"

namespace vktest {
void RemoveAppPaths() {}
}  // namespace vktest
