// Under Wine the App Paths entry is the prefix's own: a test removes what it wrote.
#include <windows.h>

#include "logic/discovery_support.h"

namespace vktest {
void RemoveAppPaths() { ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kAppPathsKey); }
}  // namespace vktest
