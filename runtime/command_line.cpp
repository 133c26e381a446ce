// The arguments of the command line Windows gives the process, as the start-up code of a C
// runtime passes them to WinMain.
#include "runtime/runtime.h"

const char* ProgramArguments(const char* commandLine) {
    const char* at = commandLine;
    if (*at == '"') {
        ++at;
        while (*at != '\0' && *at != '"') ++at;
        if (*at == '"') ++at;
    } else {
        while (*at != '\0' && *at != ' ' && *at != '\t') ++at;
    }
    while (*at == ' ' || *at == '\t') ++at;
    return at;
}
