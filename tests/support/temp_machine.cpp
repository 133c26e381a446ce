#include "support/temp_machine.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "emulator/machine/host.h"

namespace vktest {

TempMachine::TempMachine(const std::string& ini, const std::string& reg) {
    WriteHostFile(folder_.path("machine.ini"), ini);
    std::string error;
    if (!reg.empty())
        WriteHostFile(folder_.path("registry.reg"), reg);
    else if (!platform::host::WriteEmptyRegistry(dir(), &error))
        ADD_FAILURE() << error;
    for (const char* sub : {"/drive_c", "/drive_c/WINDOWS", "/drive_c/WINDOWS/TEMP",
                            "/drive_c/WINDOWS/system32"}) {
        std::filesystem::create_directories(dir() + sub);
    }
    Reopen();
}

// The machine is closed before its folder goes.
TempMachine::~TempMachine() { platform::host::CloseMachine(); }

void TempMachine::Reopen() {
    std::string error;
    if (!platform::host::OpenMachine(dir(), &error)) ADD_FAILURE() << error;
}

std::string TempMachine::host(const std::string& windowsPath) const {
    std::string path = windowsPath;
    std::string drive = "drive_";
    drive += static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    std::string rest = path.size() > 2 ? path.substr(2) : "";
    for (char& c : rest)
        if (c == '\\') c = '/';
    return dir() + "/" + drive + rest;
}

std::string TempMachine::ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void TempMachine::WriteHostFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

FileSizeLimit::FileSizeLimit(unsigned long bytes) {
    oldHandler_ = signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    old_ = limit.rlim_cur;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    struct rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(old_);
    setrlimit(RLIMIT_FSIZE, &limit);
    signal(SIGXFSZ, oldHandler_);
}

}  // namespace vktest
