// Windows wildcard matching of file names, for FindFirstFileA on the emulated machine.
#pragma once

#include <string>

namespace platform::host {

// True when `name` matches `pattern` (both in the machine code page) as Windows matches them:
// by character, ASCII letters without regard to case; '*' any run of characters, '?' exactly
// one; a '.' followed only by '*' at the end of the pattern also matches the end of the name,
// so "*.*" matches every name and "a.*" matches "a".
bool WildcardMatch(const std::string& pattern, const std::string& name);

}  // namespace platform::host
