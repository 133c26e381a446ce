// Helpers of the discovery tests: executables with a given version made by the PE writer, and
// the App Paths entry that the tests write and remove.
#pragma once

#include <cstdint>
#include <string>

#include "platform_types.h"

namespace vktest {

// A PE image whose version resource carries `version` (none when empty), `size` bytes long
// (0: as small as it comes).
std::string VersionedImage(const std::string& version, uint32_t size);

extern const char kAppPathsKey[];  // below HKEY_LOCAL_MACHINE

// A value: its type and bytes (a text without a NUL that the system may add); type
// REG_NONE and "<absent>" when it is missing.
struct RegValue {
    DWORD type = REG_NONE;
    std::string data = "<absent>";
};
RegValue ReadValue(HKEY root, const std::string& key, const std::string& name);
// Writes the App Paths entry's "Path" (creating the key); `data` as given, no NUL added.
void WriteAppPath(DWORD type, const std::string& data);
// Removes the App Paths entry of the product (the platform's own way).
void RemoveAppPaths();

}  // namespace vktest
