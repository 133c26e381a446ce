// The emulated machine: its folder, machine.ini and the loading of its registry.
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "emulator/machine/host.h"
#include "emulator/machine/machine_state.h"
#include "emulator/registry/regfile.h"

namespace platform::host {
namespace {

struct State {
    bool open = false;
    std::string dir;
    MachineConfig config;
};

State& Current() {
    static State state;
    return state;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool ParseNumber(const std::string& text, unsigned long max, unsigned long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(text.c_str(), &end, 10);
    if (*end != '\0' || v > max) return false;
    *value = v;
    return true;
}

// The code pages a machine can have: any the host's iconv converts as CPn.
const char kCodepages[] =
    " is not a code page the machine can use: give a Windows ANSI code page such as 932 (Japanese), "
    "936, 949, 950, 874 or 1250 to 1258";

// What is wrong with host file `path` of a machine that should hold it, or "" when it is a
// readable file; `missing` is the text for a file that is not there.
std::string FileProblem(const std::string& path, const std::string& missing) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? missing : path + " cannot be read: " + std::strerror(errno);
    if (!S_ISREG(st.st_mode)) return path + " is not a file";
    return "";
}

}  // namespace

bool ParseMachineIni(const std::string& text, const std::string& file, MachineConfig* config,
                     std::string* error) {
    MachineConfig result;
    std::istringstream in(text);
    std::string line, section;
    std::string folders[4];  // UTF-8 until the code page is known
    bool folderSet[4] = {false, false, false, false};
    std::map<std::string, int> seen;  // section and key: the line it was given on
    int number = 0;
    auto fail = [&](const std::string& why) {
        *error = file + ":" + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        line = Trim(line);
        // A comment is a whole line: ';' inside a value (a folder "C:\Docs;Old") is text.
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.back() != ']') return fail("section header without ']'");
            section = Trim(line.substr(1, line.size() - 2));
            if (section != "windows" && section != "folders" && section != "drives")
                return fail("unknown section [" + section + "] (known: [windows], [folders], [drives])");
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) return fail("expected key = value");
        std::string key = Trim(line.substr(0, eq));
        std::string value = Trim(line.substr(eq + 1));
        if (section.empty()) return fail("key \"" + key + "\" outside a section");
        // A drive is one letter whatever its case: "c" and "C" are one key.
        if (section == "drives" && key.size() == 1 && key[0] >= 'a' && key[0] <= 'z')
            key[0] = static_cast<char>(key[0] - 'a' + 'A');
        // A key given twice would leave a reader to guess which one counts.
        int& first = seen[section + "\n" + key];
        if (first != 0)
            return fail("key \"" + key + "\" given twice in [" + section + "] (first on line " +
                        std::to_string(first) + ")");
        first = number;
        unsigned long n = 0;
        if (section == "windows") {
            if (key == "platform") {
                if (!ParseNumber(value, 2, &n) || n < 1) return fail("platform must be 1 or 2");
                result.platformId = n;
            } else if (key == "major" || key == "minor") {
                if (!ParseNumber(value, 255, &n)) return fail(key + " must be a number 0-255");
                (key == "major" ? result.major : result.minor) = n;
            } else if (key == "codepage") {
                if (!ParseNumber(value, 65535, &n)) return fail("codepage " + value + kCodepages);
                result.codepage = n;
            } else if (key == "admin" || key == "shfolder" || key == "shortnames") {
                if (!ParseNumber(value, 1, &n)) return fail(key + " must be 0 or 1");
                (key == "admin" ? result.admin : key == "shfolder" ? result.shfolder : result.shortnames) = n == 1;
            } else {
                return fail("unknown key \"" + key + "\" in [windows]");
            }
        } else if (section == "drives") {
            char letter = key.size() == 1 ? key[0] : 0;
            if (letter < 'A' || letter > 'Z') return fail("a drive is a letter A to Z, not \"" + key + "\"");
            unsigned long long size = 0;
            char* end = nullptr;
            errno = 0;
            if (!value.empty() && value[0] >= '0' && value[0] <= '9') size = std::strtoull(value.c_str(), &end, 10);
            if (end == nullptr || *end != '\0' || errno != 0 || size == 0)
                return fail("the size of drive " + std::string(1, letter) + ": must be a number of bytes above 0");
            result.driveSize[letter - 'A'] = size;
        } else {
            int i = key == "temp" ? 0 : key == "system" ? 1 : key == "documents" ? 2 : key == "programfiles" ? 3 : -1;
            if (i < 0) return fail("unknown key \"" + key + "\" in [folders]");
            if (value.size() < 3 || value[1] != ':' || value[2] != '\\')
                return fail(key + " must be a full Windows path such as C:\\WINDOWS");
            folders[i] = value;
            folderSet[i] = true;
        }
    }
    // Folder texts are UTF-8 in the file and in the machine's code page inside it.
    std::string probe;
    if (!Utf8ToAnsi(result.codepage, "C", &probe)) {
        *error = file + ": codepage " + std::to_string(result.codepage) + kCodepages;
        return false;
    }
    std::string* targets[4] = {&result.temp, &result.system, &result.documents, &result.programFiles};
    for (int i = 0; i < 4; ++i) {
        if (!folderSet[i]) continue;
        if (!Utf8ToAnsi(result.codepage, folders[i], targets[i])) {
            *error = file + ": folder \"" + folders[i] + "\" cannot be written in code page " +
                     std::to_string(result.codepage);
            return false;
        }
    }
    if (!EndsWithBackslash(result.codepage, result.temp)) result.temp += '\\';
    *config = result;
    return true;
}

bool OpenMachine(const std::string& dir, std::string* error) {
    struct stat st;
    if (stat(dir.c_str(), &st) != 0) {
        *error = errno == ENOENT ? "machine folder " + dir + " does not exist; make one with: vkmachine create " + dir
                                 : "machine folder " + dir + " cannot be read: " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *error = dir + " is not a folder: a machine is a folder made by vkmachine create";
        return false;
    }
    // A folder without machine.ini is no machine; one whose files cannot be read is a damaged
    // machine, which is opened by nobody so that nothing is written over it.
    std::string iniPath = dir + "/machine.ini";
    std::string problem =
        FileProblem(iniPath, dir + " is not a machine (no machine.ini); make one with: vkmachine create " + dir);
    if (problem.empty())
        problem = FileProblem(dir + "/registry.reg", dir + " is a damaged machine: its registry.reg is missing");
    std::ifstream ini(iniPath, std::ios::binary);
    if (problem.empty() && !ini) problem = iniPath + " cannot be read: " + std::strerror(errno);
    if (!problem.empty()) {
        *error = problem;
        return false;
    }
    std::stringstream text;
    text << ini.rdbuf();
    MachineConfig config;
    if (!ParseMachineIni(text.str(), iniPath, &config, error)) return false;
    CloseMachine();
    Current().open = true;
    Current().dir = dir;
    Current().config = config;
    if (!LoadRegistry(dir + "/registry.reg", error)) {
        CloseMachine();
        return false;
    }
    ClearFaults();
    ResetProcessToken();
    const char* faults = std::getenv("VKUPDATE_FAULTS");
    if (faults != nullptr && !FaultsFromText(faults, error)) {
        CloseMachine();
        return false;
    }
    const char* record = std::getenv("VKUPDATE_CALLS");
    const char* killAt = std::getenv("VKUPDATE_KILL_AT");
    if (!WatchCalls(record != nullptr ? record : "", killAt != nullptr ? killAt : "", error)) {
        CloseMachine();
        return false;
    }
    return true;
}

bool WriteEmptyRegistry(const std::string& dir, std::string* error) {
    std::string text;
    if (!FormatRegFile(RegTree(), &text, error)) return false;
    DWORD result = ReplaceFileDurably(dir + "/registry.reg", text);
    if (result != ERROR_SUCCESS) {
        *error = "cannot write " + dir + "/registry.reg: " + ErrorText(result);
        return false;
    }
    return true;
}

bool OpenMachineFromEnvironment(std::string* error) {
    const char* dir = std::getenv("VKUPDATE_MACHINE");
    if (dir == nullptr || *dir == '\0') {
        *error = "VKUPDATE_MACHINE is not set: it names the folder of an emulated Windows machine; "
                 "make one with: vkmachine create DIR";
        return false;
    }
    return OpenMachine(dir, error);
}

void CloseMachine() {
    if (Current().open) UnloadRegistry();
    ForgetMachineLock();
    Current() = State();
}

bool MachineIsOpen() { return Current().open; }
const std::string& MachineDir() { return Current().dir; }
const MachineConfig& Config() { return Current().config; }

}  // namespace platform::host
