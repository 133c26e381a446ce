// Running a host command from a test: its standard output and error, and its exit code.
#pragma once

#include <string>

namespace vktest {

// Runs `command` through the shell; *output (when given) receives what it printed on standard
// output and standard error. Returns its exit code, or -1 when it did not exit normally.
int RunCommand(const std::string& command, std::string* output = nullptr);

}  // namespace vktest
