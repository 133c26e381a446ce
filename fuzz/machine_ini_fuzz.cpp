// machine.ini on any text: refused with a message, or read into a configuration whose
// temporary folder ends with a backslash, as every caller of Config().temp expects.
#include <cstdint>
#include <string>

#include "fuzz/expect.h"
#include "emulator/machine/host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace platform::host;
    MachineConfig config;
    std::string error;
    if (!ParseMachineIni(std::string(reinterpret_cast<const char*>(data), size), "machine.ini", &config, &error)) {
        Expect(!error.empty(), "a refused machine.ini says why");
        return 0;
    }
    Expect(EndsWithBackslash(config.codepage, config.temp), "the temporary folder ends with a backslash");
    return 0;
}
