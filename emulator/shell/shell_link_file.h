// The shortcut file format of Windows (.lnk, published by Microsoft as MS-SHLLINK), written
// from the properties of a shell-link object.
#pragma once

#include <string>

#include "platform_types.h"

namespace platform::host {

struct ShellLinkProperties {
    std::string target;  // machine code page
    std::string arguments;
    std::string workingDirectory;
    std::string description;
    std::string iconPath;
    int iconIndex = 0;
    WORD hotkey = 0;
    int showCommand = SW_SHOWNORMAL;
    // What the target was when it was set: attributes, size, last write time (0 when unknown).
    DWORD targetAttributes = 0;
    DWORD targetSize = 0;
    uint64_t targetWriteTime = 0;  // FILETIME: 100 ns since 1601
};

// The bytes of the shortcut file. A full local target ("X:\...") goes into the link-info
// structure as the local base path; any other target is kept as the relative path. Texts are
// written in UTF-16. False when a text has no UTF-16 form in the machine's code page.
bool ShellLinkFileBytes(const ShellLinkProperties& link, std::string* bytes);

}  // namespace platform::host
