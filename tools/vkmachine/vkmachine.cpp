// vkmachine: makes an emulated Windows machine for the host vkupdate, and restarts one
// (performing the file operations left pending until restart).
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "emulator/machine/host.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "tools/vkmachine/edit_commands.h"
#include "tools/vkmachine/free_space_command.h"
#include "tools/vkmachine/holds_command.h"
#include "tools/vkmachine/install_product.h"
#include "tools/vkmachine/machine_files.h"

namespace {

namespace host = platform::host;

const char kUsage[] =
    "usage: vkmachine create DIR [options]   make a new machine in DIR (absent or empty)\n"
    "       vkmachine reboot DIR             restart the machine: do its pending file operations,\n"
    "                                        then load its drivers and start the Run keys' programs\n"
    "       vkmachine install-product DIR --version TEXT [--size N] [--folder PATH]\n"
    "                                 [--database-size N] [--driver loaded|unloaded|none]\n"
    "                                        install the product of that build on the machine\n"
    "       vkmachine hold DIR PATH [--access rwdx|a|none] [--share rwd|none]\n"
    "                                        another program keeps the file open\n"
    "       vkmachine run DIR PATH           the file is a running program's executable\n"
    "       vkmachine release DIR PATH       the program holding the file closes it\n"
    "       vkmachine stop DIR               every running program ends\n"
    "       vkmachine free-space DIR DRIVE BYTES|host\n"
    "                                        the drive (C:) has BYTES free from now on, whatever is\n"
    "                                        written later taking from it; host: the host's free space\n";
const char kCreateOptions[] =
    "\n"
    "options of create (defaults in brackets):\n"
    "  --platform 1|2      1 = Windows 95/98/Me family, 2 = NT family      [2]\n"
    "  --major N           major version                                   [5]\n"
    "  --minor N           minor version                                   [1]\n"
    "  --codepage N        ANSI code page                                  [932]\n"
    "  --admin 0|1         0 = no administrator rights                     [1]\n"
    "  --shfolder 0|1      0 = no SHGetFolderPathA                         [1]\n"
    "  --shortnames 0|1    0 = no 8.3 aliases of long file names           [1]\n"
    "  --temp PATH         temporary folder      [C:\\WINDOWS\\TEMP\\]\n"
    "  --system PATH       system folder         [C:\\WINDOWS\\system32]\n"
    "  --documents PATH    the user's documents  [C:\\Documents and Settings\\user\\My Documents]\n";

const char kAllUsers[] = "C:\\Documents and Settings\\All Users";

struct Options {
    std::string windows[7][2] = {{"platform", "2"}, {"major", "5"},    {"minor", "1"},
                                 {"codepage", "932"}, {"admin", "1"}, {"shfolder", "1"},
                                 {"shortnames", "1"}};
    std::string folders[3][2] = {{"temp", "C:\\WINDOWS\\TEMP\\"},
                                 {"system", "C:\\WINDOWS\\system32"},
                                 {"documents", "C:\\Documents and Settings\\user\\My Documents"}};
};

int Usage(const std::string& why) { return UsageError(why); }

// machine.ini with every key and what it means; `admin` overrides the chosen rights.
std::string MachineIni(const Options& o, const std::string& admin) {
    static const char* notes[7] = {
        "1 = 95/98/Me family, 2 = NT family", "major version", "minor version",
        "ANSI code page of the machine",
        "0 = HKEY_LOCAL_MACHINE opened for writing, the system folder and, from 2000 on, Program Files refuse access",
        "0 = neither SHFOLDER.DLL nor SHELL32.DLL offers SHGetFolderPathA",
        "0 = long file names have no 8.3 alias (FindFirstFileA matches the long name only)"};
    // A comment is a line of its own: ';' after a value is part of the value.
    std::string text = "; The emulated Windows machine of the host vkupdate (made by vkmachine create).\n"
                       "; Paths are UTF-8 here and the machine code page inside the machine.\n"
                       "[windows]\n";
    for (int i = 0; i < 7; ++i) {
        std::string value = i == 4 ? admin : o.windows[i][1];
        text += "; " + std::string(notes[i]) + "\n";
        text += o.windows[i][0] + std::string(11 - o.windows[i][0].size(), ' ') + "= " + value + "\n";
    }
    text += "[folders]\n";
    for (const auto& f : o.folders)
        text += f[0] + std::string(11 - f[0].size(), ' ') + "= " + f[1] + "\n";
    return text;
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

std::string WithoutTrailingBackslash(std::string path) {
    while (path.size() > 3 && host::EndsWithBackslash(path)) path.pop_back();
    return path;
}

bool SetString(HKEY root, const std::string& subKey, const std::string& name, const std::string& value,
               std::string* error) {
    HKEY key = nullptr;
    LONG r = platform::RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (r == ERROR_SUCCESS && !name.empty()) {
        r = platform::RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>(value.size() + 1));
    }
    if (key != nullptr) platform::RegCloseKey(key);
    if (r != ERROR_SUCCESS) {
        *error = "cannot write registry key " + subKey + " value \"" + name + "\": " + host::ErrorText(r);
        return false;
    }
    return true;
}

// The folders and registry of a Windows XP machine, on the machine now open.
bool Populate(std::string* error) {
    const host::MachineConfig& c = host::Config();
    std::string profile = ParentFolder(c.documents);
    std::string all = kAllUsers;
    const std::vector<std::pair<std::string, std::string>> common = {
        {"Common AppData", all + "\\Application Data"},
        {"Common Desktop", all + "\\Desktop"},
        {"Common Documents", all + "\\Documents"},
        {"Common Favorites", all + "\\Favorites"},
        {"Common Programs", all + "\\Start Menu\\Programs"},
        {"Common Start Menu", all + "\\Start Menu"},
        {"Common Startup", all + "\\Start Menu\\Programs\\Startup"},
        {"Common Templates", all + "\\Templates"},
    };
    const std::vector<std::pair<std::string, std::string>> user = {
        {"AppData", profile + "\\Application Data"},
        {"Cache", profile + "\\Local Settings\\Temporary Internet Files"},
        {"Cookies", profile + "\\Cookies"},
        {"Desktop", profile + "\\Desktop"},
        {"Favorites", profile + "\\Favorites"},
        {"History", profile + "\\Local Settings\\History"},
        {"Local AppData", profile + "\\Local Settings\\Application Data"},
        {"Local Settings", profile + "\\Local Settings"},
        {"My Pictures", c.documents + "\\My Pictures"},
        {"Personal", c.documents},
        {"Programs", profile + "\\Start Menu\\Programs"},
        {"Recent", profile + "\\Recent"},
        {"SendTo", profile + "\\SendTo"},
        {"Start Menu", profile + "\\Start Menu"},
        {"Startup", profile + "\\Start Menu\\Programs\\Startup"},
        {"Templates", profile + "\\Templates"},
    };
    std::vector<std::string> folders = {WithoutTrailingBackslash(c.temp), c.system, c.system + "\\drivers",
                                        c.documents, "C:\\Program Files", "C:\\Program Files\\Common Files"};
    // The 95/98/Me family keeps its block-device drivers in the system folder's IOSUBSYS.
    if (c.platformId == 1) folders.push_back(c.system + "\\IOSUBSYS");
    for (const auto& v : common) folders.push_back(v.second);
    for (const auto& v : user) folders.push_back(v.second);
    for (const std::string& f : folders)
        if (!MakeFolders(f, error)) return false;

    // The same key path serves both roots: key names are compared without regard to case.
    const std::string shell = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    const std::string version = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    for (const auto& v : common)
        if (!SetString(HKEY_LOCAL_MACHINE, shell, v.first, v.second, error)) return false;
    for (const auto& v : user)
        if (!SetString(HKEY_CURRENT_USER, shell, v.first, v.second, error)) return false;
    return SetString(HKEY_LOCAL_MACHINE, version, "ProgramFilesDir", "C:\\Program Files", error) &&
           SetString(HKEY_LOCAL_MACHINE, version, "CommonFilesDir", "C:\\Program Files\\Common Files", error) &&
           SetString(HKEY_LOCAL_MACHINE, version + "\\App Paths", "", "", error) &&
           SetString(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services", "", "", error) &&
           SetString(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", "", "", error) &&
           SetString(HKEY_CURRENT_USER, "Software", "", "", error);
}

bool IsNumber(const std::string& s) {
    return !s.empty() && s.size() <= 5 && s.find_first_not_of("0123456789") == std::string::npos;
}

int Create(const std::vector<std::string>& args) {
    if (args.empty() || args[0].compare(0, 2, "--") == 0) return Usage("create needs a folder");
    std::string dir = args[0];
    Options o;
    for (size_t i = 1; i < args.size(); i += 2) {
        const std::string& opt = args[i];
        if (opt.compare(0, 2, "--") != 0) return Usage("unexpected argument \"" + opt + "\"");
        std::string* number = nullptr;
        std::string* folder = nullptr;
        for (auto& w : o.windows)
            if (opt == "--" + w[0]) number = &w[1];
        for (auto& f : o.folders)
            if (opt == "--" + f[0]) folder = &f[1];
        if (number == nullptr && folder == nullptr) return Usage("unknown option " + opt);
        if (i + 1 >= args.size()) return Usage("option " + opt + " needs a value");
        const std::string& value = args[i + 1];
        if (number != nullptr && !IsNumber(value))
            return Usage("option " + opt + " needs a number, not \"" + value + "\"");
        *(number != nullptr ? number : folder) = value;
    }
    host::MachineConfig config;
    std::string error;
    if (!host::ParseMachineIni(MachineIni(o, o.windows[4][1]), "options", &config, &error))
        return Usage(error.substr(error.find(": ") + 2));

    std::error_code ec;
    bool existed = std::filesystem::exists(dir, ec);
    if (existed && (!std::filesystem::is_directory(dir, ec) || !std::filesystem::is_empty(dir, ec))) {
        std::cerr << "vkmachine: " << dir << " exists and is not an empty folder; choose a new one\n";
        return 1;
    }
    auto undo = [&]() {
        host::CloseMachine();
        std::error_code ignored;
        if (existed) {
            for (const auto& e : std::filesystem::directory_iterator(dir, ignored))
                std::filesystem::remove_all(e.path(), ignored);
        } else {
            std::filesystem::remove_all(dir, ignored);
        }
    };
    std::filesystem::create_directories(dir + "/drive_c", ec);
    // The machine is set up with administrator rights, then gets the rights asked for.
    if (ec || !WriteText(dir + "/machine.ini", MachineIni(o, "1")) || !host::WriteEmptyRegistry(dir, &error)) {
        std::cerr << "vkmachine: cannot write in " << dir << "\n";
        undo();
        return 1;
    }
    if (!host::OpenMachine(dir, &error) || !Populate(&error)) {
        std::cerr << "vkmachine: " << error << "\n";
        undo();
        return 1;
    }
    host::CloseMachine();
    if (!WriteText(dir + "/machine.ini", MachineIni(o, o.windows[4][1]))) {
        std::cerr << "vkmachine: cannot write " << dir << "/machine.ini\n";
        undo();
        return 1;
    }
    std::cout << "made machine " << dir << "\n";
    return 0;
}

int Reboot(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage("reboot needs exactly one folder");
    std::string error, report;
    if (!host::OpenMachine(args[0], &error)) {
        std::cerr << "vkmachine: " << error << "\n";
        return 1;
    }
    bool ok = host::RestartMachine(&report, &error);
    host::CloseMachine();
    std::cout << report;
    if (!ok) {
        std::cerr << "vkmachine: " << error << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage("no command given");
    std::string command = args[0];
    args.erase(args.begin());
    if (command == "attributes") command = "attrib";  // the word a user tries
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage << kEditUsage << kCreateOptions;
        return 0;
    }
    if (command == "create") return Create(args);
    if (command == "reboot") return Reboot(args);
    if (command == "install-product") return InstallProduct(args);
    if (command == "hold") return HoldCommand(args);
    if (command == "run") return RunCommand(args);
    if (command == "release") return ReleaseCommand(args);
    if (command == "stop") return StopCommand(args);
    if (command == "free-space") return FreeSpaceCommand(args);
    int code = 0;
    if (EditCommand(command, args, &code)) return code;
    return Usage("unknown command \"" + command + "\"");
}
