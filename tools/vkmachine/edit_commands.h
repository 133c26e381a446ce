// vkmachine's commands that change one thing on a machine, as a user or another program might
// have left it: a file's attributes, a file or folder put or removed, a registry value of any
// type and size set or removed, a key removed.
#pragma once

#include <string>
#include <vector>

// The usage lines of these commands.
extern const char kEditUsage[];

// True when `command` is one of them; `*code` is then its exit code (args: DIR and the rest).
bool EditCommand(const std::string& command, const std::vector<std::string>& args, int* code);
