// What the post-install tests need from each platform: a shortcut file read back by a reader
// that is not the writer, keys removed, and the documents folder ready.
#pragma once

#include <string>

#include "platform_types.h"

struct ShortcutInfo {
    bool read = false;  // false: the file could not be read as a shortcut
    std::string target;
    std::string workingDirectory;
    std::string arguments;
    std::string description;
    std::string iconPath;
    int showCommand = -1;
};

// Host: Debian's lnkinfo (and the header's show-command field). Windows: IShellLinkA::Load.
ShortcutInfo ReadShortcut(const std::string& path);
// Removes the key `path` below `root` with its values and sub-keys, when it exists.
void RemoveKey(HKEY root, const std::string& path);
// Makes sure the user's documents folder exists (it does on a real system).
void PrepareDocumentsFolder();
