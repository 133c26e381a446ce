// vkmachine hold, run, release, stop: other programs holding the machine's files.
#pragma once

#include <string>
#include <vector>

// args of each command after its name. Each returns the exit code.
int HoldCommand(const std::vector<std::string>& args);
int RunCommand(const std::vector<std::string>& args);
int ReleaseCommand(const std::vector<std::string>& args);
int StopCommand(const std::vector<std::string>& args);
