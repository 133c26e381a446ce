// The shortcut file format of Windows (.lnk, published by Microsoft as MS-SHLLINK), written
// from the properties of a shell-link object.
#pragma once

#include <cstdint>
#include <string>

namespace formats {

struct ShellLinkProperties {
    std::string target;  // the writer's code page, as are the other texts
    std::string arguments;
    std::string workingDirectory;
    std::string description;
    std::string iconPath;
    int iconIndex = 0;
    uint16_t hotkey = 0;
    int showCommand = 1;  // SW_SHOWNORMAL
    // What the target was when it was set: attributes, size, last write time (0 when unknown).
    uint32_t targetAttributes = 0;
    uint32_t targetSize = 0;
    uint64_t targetWriteTime = 0;  // FILETIME: 100 ns since 1601
};

// The bytes of the shortcut file. A full local target ("X:\...") goes into the link-info
// structure as the local base path; any other target is kept as the relative path. Texts are
// written in UTF-16, converted from the writer's code page by `toUtf16`. False when a text has no
// UTF-16 form there.
using ToUtf16 = bool (*)(const std::string& text, std::u16string* utf16);
bool ShellLinkFileBytes(const ShellLinkProperties& link, ToUtf16 toUtf16, std::string* bytes);

}  // namespace formats
