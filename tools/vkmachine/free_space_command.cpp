// vkmachine free-space DIR DRIVE BYTES: from now on the drive has BYTES free. machine.ini's
// [drives] section then gives the drive the size of what it holds plus BYTES, so that every
// file written later takes from that space; "host" gives the drive the host's free space again.
#include "tools/vkmachine/free_space_command.h"

#include <fstream>
#include <iostream>
#include <sstream>

#include "emulator/machine/host.h"
#include "tools/vkmachine/machine_files.h"

namespace {

namespace host = platform::host;

// machine.ini without its [drives] section, which is written anew after the rest.
std::string WithoutDrives(const std::string& text) {
    std::istringstream in(text);
    std::string line, kept;
    bool drives = false;
    while (std::getline(in, line)) {
        size_t start = line.find_first_not_of(" \t");
        if (start != std::string::npos && line[start] == '[') drives = line.compare(start, 8, "[drives]") == 0;
        if (!drives) kept += line + "\n";
    }
    return kept;
}

std::string DrivesSection(const host::MachineConfig& config) {
    std::string text;
    for (int d = 0; d < 26; ++d) {
        if (config.driveSize[d] == 0) continue;
        if (text.empty())
            text = "[drives]\n; the size of a drive in bytes: its free space is that less what its files take\n";
        text += std::string(1, static_cast<char>('A' + d)) + " = " + std::to_string(config.driveSize[d]) + "\n";
    }
    return text;
}

}  // namespace

int FreeSpaceCommand(const std::vector<std::string>& args) {
    if (args.size() != 3) return UsageError("free-space needs a machine folder, a drive (C:) and a number of bytes or host");
    const std::string& dir = args[0];
    std::string drive = args[1];
    if (drive.size() == 2 && drive[1] == ':') drive.pop_back();
    char letter = drive.size() == 1 ? static_cast<char>(drive[0] & ~0x20) : 0;
    if (letter < 'A' || letter > 'Z') return UsageError("a drive is a letter and a colon, such as C:, not \"" + args[1] + "\"");
    unsigned long long free = 0;
    bool hostSize = args[2] == "host";
    if (!hostSize && !Number(args[2], 1ull << 50, &free))
        return UsageError("free-space needs a number of bytes up to 2^50, or host, not \"" + args[2] + "\"");
    std::string error;
    if (!host::OpenMachine(dir, &error)) {
        std::cerr << "vkmachine: " << error << "\n";
        return 1;
    }
    unsigned long long held = 0;
    bool exists = host::DriveHeldBytes(letter, &held);
    host::MachineConfig config = host::Config();
    host::CloseMachine();
    if (!exists) {
        std::cerr << "vkmachine: the machine has no drive " << letter << ":\n";
        return 1;
    }
    // A size of 0 means the host's; a drive left no room at all still has its size.
    config.driveSize[letter - 'A'] = hostSize ? 0 : held + free;
    std::string iniPath = dir + "/machine.ini";
    std::ifstream in(iniPath, std::ios::binary);
    std::stringstream old;
    old << in.rdbuf();
    std::string text = WithoutDrives(old.str()) + DrivesSection(config);
    host::MachineConfig check;
    if (!host::ParseMachineIni(text, iniPath, &check, &error)) {
        std::cerr << "vkmachine: " << error << "\n";
        return 1;
    }
    std::ofstream out(iniPath, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) {
        std::cerr << "vkmachine: cannot write " << iniPath << "\n";
        return 1;
    }
    if (hostSize)
        std::cout << "drive " << letter << ": has the host's free space\n";
    else
        std::cout << "drive " << letter << ": has " << free << " bytes free (its files take " << held << ")\n";
    return 0;
}
