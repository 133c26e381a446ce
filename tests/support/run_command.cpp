#include "support/run_command.h"

#include <sys/wait.h>

#include <cstdio>

namespace vktest {

int RunCommand(const std::string& command, std::string* output) {
    std::string all = command + " 2>&1";
    FILE* pipe = popen(all.c_str(), "r");
    if (pipe == nullptr) return -1;
    std::string text;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
    int status = pclose(pipe);
    if (output != nullptr) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace vktest
