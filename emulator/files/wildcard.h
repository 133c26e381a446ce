// Windows wildcard matching of file names, for FindFirstFileA on the emulated machine.
#pragma once

#include <string>

namespace platform::host {

// True when `name` has a wildcard: '*', '?', or one of the DOS wildcards '<', '>' and '"'.
bool IsWildcardPattern(const std::string& name);

// True when `name` matches `pattern` (both in the machine code page; the pattern as the caller
// wrote its last component, trailing dots included) as FindFirstFileA matches them: by
// character, ASCII letters without regard to case. '*' is any run of characters and '?' one
// character, or none before a dot or at the end of the name; "*.*" matches every name, "a.*"
// matches "a", and a pattern ending in a dot ("*.", "* .", "*..") names without an extension.
// '<' (any characters up to the name's last dot), '>' (as '?') and '"' (a dot, or nothing at
// the end) are the DOS wildcards, as the caller may give them too.
bool WildcardMatch(const std::string& pattern, const std::string& name);

}  // namespace platform::host
