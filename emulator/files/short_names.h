// The 8.3 name rules, as pure functions of the names of one folder.
#pragma once

#include <string>
#include <vector>

#include "emulator/files/file_system.h"

namespace platform::host {

// Windows lists "." and "..", then the names in order without regard to case.
bool NameBefore(const std::string& a, const std::string& b);
// Windows' order; host entries whose names Windows does not tell apart keep their host order.
bool EntryBefore(const FolderEntry& a, const FolderEntry& b);
// True when `name` is already an 8.3 name (it gets no alias).
bool IsShortName(const std::string& name);
// Up to `bytes` bytes of the characters of `text` as an alias holds them.
std::string AliasPart(const std::string& text, size_t bytes);
// Gives the long names of one folder, in Windows order, the 8.3 aliases Windows gives them.
void MakeAliases(std::vector<FolderEntry>* entries);

}  // namespace platform::host
