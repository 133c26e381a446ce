// vkmachine free-space: how much a drive of the machine takes before it is full.
#pragma once

#include <string>
#include <vector>

// args after the command's name: DIR DRIVE BYTES|host. Returns the exit code.
int FreeSpaceCommand(const std::vector<std::string>& args);
