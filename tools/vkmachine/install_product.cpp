// Seeds a machine with an installed product: the main executable of the chosen build, a few
// older product files, the App Paths entry, the data files, the program-menu folder with its
// shortcut, some product settings of the user, and the family's old drivers with their service
// entries; then the machine starts, as it has since the first installation: Windows holds the
// drivers it loaded.
#include "tools/vkmachine/install_product.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "discovery/known_versions.h"
#include "payload/driver_service.h"
#include "platform/files.h"
#include "emulator/machine/host.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "formats/pe_writer.h"
#include "tools/vkmachine/machine_files.h"

namespace {

namespace host = platform::host;

const char kDefaultFolder[] = "C:\\Program Files\\Orvane\\Velkor TARN";
const uint32_t kAnySize = 4000000;  // for builds whose size the table does not fix

int Usage(const std::string& why) { return UsageError(why); }

const KnownVersionEntry* KnownBuild(const std::string& version) {
    for (const KnownVersionEntry& e : KnownVersionTable)
        if (version == e.versionText) return &e;
    return nullptr;
}

// The size of the build's VKTARN.EXE as the table knows it.
uint32_t TableSize(const std::string& version) {
    const KnownVersionEntry* e = KnownBuild(version);
    return e != nullptr && e->expectedSize != 0 ? e->expectedSize : kAnySize;
}

bool WriteImage(const std::string& path, const std::string& version, uint32_t size, bool dll, std::string* error) {
    pewriter::PeLayout layout;
    layout.fileVersion = version;
    layout.size = size;
    layout.dll = dll;
    layout.body = "Velkor TARN " + version;
    std::string image;
    if (!pewriter::BuildPe(layout, &image, error)) return false;
    return WriteWholeFile(path, image, error);
}

// A value under `root\key` (created when missing): a text with its NUL, or a 32-bit number.
bool SetValue(HKEY root, const std::string& key, const std::string& name, DWORD type, const std::string& text,
              DWORD number, std::string* error) {
    HKEY k = nullptr;
    LONG r = platform::RegCreateKeyExA(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                       nullptr, &k, nullptr);
    if (r == ERROR_SUCCESS) {
        r = type == REG_DWORD
                ? platform::RegSetValueExA(k, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4)
                : platform::RegSetValueExA(k, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                                           static_cast<DWORD>(text.size() + 1));
        platform::RegCloseKey(k);
    }
    if (r != ERROR_SUCCESS) *error = "cannot write " + key + " \"" + name + "\": " + host::ErrorText(r);
    return r == ERROR_SUCCESS;
}

// The "Common Programs" folder the machine's shell names.
bool CommonPrograms(std::string* folder, std::string* error) {
    HKEY k = nullptr;
    char data[270] = {0};
    DWORD type = REG_SZ, size = sizeof data - 1;
    LONG r = platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                     "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                                     KEY_READ, &k);
    if (r == ERROR_SUCCESS) {
        r = platform::RegQueryValueExA(k, "Common Programs", nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
        platform::RegCloseKey(k);
    }
    if (r != ERROR_SUCCESS || data[0] == '\0') {
        *error = "the machine names no \"Common Programs\" folder; make it with vkmachine create";
        return false;
    }
    *folder = data;
    return true;
}

// The disc database: a header of zeros, its name, then filler up to `size` bytes.
std::string Database(uint32_t size) {
    std::string bytes = std::string(4096, '\0') + "VKCDDB";
    for (uint32_t i = static_cast<uint32_t>(bytes.size()); i < size; ++i) bytes += static_cast<char>('A' + i % 26);
    return bytes;
}

bool Seed(const std::string& folder, const std::string& version, uint32_t size, uint32_t databaseSize,
          std::string* error) {
    const std::string in = folder + "\\";
    if (!MakeFolders(folder, error) || !WriteImage(in + "VKTARN.EXE", version, size, false, error) ||
        !WriteImage(in + "VKPLAYER.EXE", version, 0, false, error) ||
        !WriteImage(in + "MOD01.DLL", version, 0, true, error) ||
        !WriteImage(in + "MOD04.DLL", version, 0, true, error) ||
        !WriteWholeFile(in + "VKTARN.INI", "[General]\r\nVersion=" + version + "\r\n", error)) {
        return false;
    }
    // The data files that the product keeps beside itself.
    if (!WriteWholeFile(in + "VKCDDB.DB", Database(databaseSize), error) ||
        !WriteWholeFile(in + "CHG.LOG", "disc changes\r\n", error) ||
        !WriteWholeFile(in + "WRITE.LST", "track list\r\n", error) ||
        !WriteWholeFile(in + "mix.lst", "mix list\r\n", error)) {
        return false;
    }
    const std::string appPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\VKTARN.EXE";
    if (!SetValue(HKEY_LOCAL_MACHINE, appPaths, "Path", REG_SZ, folder, 0, error) ||
        !SetValue(HKEY_LOCAL_MACHINE, appPaths, "", REG_SZ, in + "VKTARN.EXE", 0, error)) {
        return false;
    }
    // The program-menu folder with its shortcut (placeholder bytes: no reader opens it here).
    std::string programs;
    if (!CommonPrograms(&programs, error) || !MakeFolders(programs + "\\Velkor TARN", error) ||
        !WriteWholeFile(programs + "\\Velkor TARN\\Velkor TARN.lnk", "shortcut to " + in + "VKTARN.EXE", error)) {
        return false;
    }
    const std::string settings = "Software\\Orvane\\VkTARN";
    return SetValue(HKEY_CURRENT_USER, settings, "Port", REG_DWORD, "", 8080, error) &&
           SetValue(HKEY_CURRENT_USER, settings, "MediaBar", REG_DWORD, "", 1, error) &&
           SetValue(HKEY_CURRENT_USER, settings, "EnableEncode", REG_DWORD, "", 1, error) &&
           SetValue(HKEY_CURRENT_USER, settings, "Proxy", REG_SZ, "proxy.example:8080", 0, error);
}

enum DriverState { DRIVER_LOADED, DRIVER_UNLOADED, DRIVER_NONE };

// The drivers the first installation left for the running family: on 95/98/Me the VxD in
// IOSUBSYS (no service entry: the family loads it from that folder); on NT 4.0 both drivers of
// the Drivers folder, each with a service entry that loads it at system start; from 2000 on
// the one driver, with the service entry "cdrvkvsd" the updater writes.
// A driver already there (loaded, on a machine installed before) is left as it is.
bool SeedDrivers(const std::string& version, std::string* error) {
    const host::MachineConfig& c = host::Config();
    auto absent = [](const std::string& path) {
        return platform::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
    };
    const std::string drivers = c.system + "\\Drivers\\";
    if (c.platformId == 1)
        return WriteWholeFile(c.system + "\\IOSUBSYS\\CDRVKVSD.VXD", "old VxD of build " + version, error);
    if (absent(drivers + "CDRVKVSD.SYS") && !WriteImage(drivers + "CDRVKVSD.SYS", version, 0, true, error)) return false;
    if (RegisterDriverService() != 1) {
        *error = "cannot write the driver's service entry (an administrator's machine is needed)";
        return false;
    }
    if (c.major >= 5) return true;
    const std::string mod39 = "SYSTEM\\CurrentControlSet\\Services\\MOD39";
    return (!absent(drivers + "MOD39.SYS") || WriteImage(drivers + "MOD39.SYS", version, 0, true, error)) &&
           SetValue(HKEY_LOCAL_MACHINE, mod39, "ErrorControl", REG_DWORD, "", 0, error) &&
           SetValue(HKEY_LOCAL_MACHINE, mod39, "Start", REG_DWORD, "", 1, error) &&
           SetValue(HKEY_LOCAL_MACHINE, mod39, "Type", REG_DWORD, "", 1, error);
}

// A number of bytes from 1 to `most`, digits only.
bool ParseSize(const std::string& text, unsigned long most, uint32_t* size) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    unsigned long long n = std::strtoull(text.c_str(), nullptr, 10);
    if (n == 0 || n > most) return false;
    *size = static_cast<uint32_t>(n);
    return true;
}

}  // namespace

int InstallProduct(const std::vector<std::string>& args) {
    if (args.empty() || args[0].compare(0, 2, "--") == 0) return Usage("install-product needs a machine folder");
    std::string version, folderUtf8 = kDefaultFolder, sizeText, databaseText, driverText = "loaded";
    for (size_t i = 1; i < args.size(); i += 2) {
        std::string* value = args[i] == "--version" ? &version
                             : args[i] == "--size"  ? &sizeText
                             : args[i] == "--folder" ? &folderUtf8
                             : args[i] == "--database-size" ? &databaseText
                             : args[i] == "--driver" ? &driverText
                                                     : nullptr;
        if (value == nullptr)
            return Usage(args[i].compare(0, 2, "--") == 0 ? "unknown option " + args[i]
                                                          : "unexpected argument \"" + args[i] + "\"");
        if (i + 1 >= args.size()) return Usage("option " + args[i] + " needs a value");
        *value = args[i + 1];
    }
    if (version.empty()) return Usage("install-product needs --version TEXT, for example --version \"3, 1, 5, 0\"");
    uint32_t size = TableSize(version);
    if (!sizeText.empty() && !ParseSize(sizeText, 0xFFFFFFFFul, &size))
        return Usage("--size needs a number of bytes, not \"" + sizeText + "\"");
    // A database of tens of megabytes is what a user's years of discs make.
    uint32_t databaseSize = 0;
    if (!databaseText.empty() && !ParseSize(databaseText, 1ul << 30, &databaseSize))
        return Usage("--database-size needs a number of bytes up to 1073741824, not \"" + databaseText + "\"");
    // A machine that has started since the first installation holds the drivers it loaded;
    // "unloaded" leaves their files and entries but nothing loaded, "none" neither.
    const char* const driverStates[] = {"loaded", "unloaded", "none"};  // as DriverState
    int driver = -1;
    for (int i = 0; i < 3; ++i)
        if (driverText == driverStates[i]) driver = i;
    if (driver < 0)
        return Usage("--driver takes loaded, unloaded or none, not \"" + driverText + "\"");
    std::string error, folder, loaded;
    if (!host::OpenMachine(args[0], &error)) {
        std::cerr << "vkmachine: " << error << "\n";
        return 1;
    }
    while (folderUtf8.size() > 3 && (folderUtf8.back() == '\\' || folderUtf8.back() == '/')) folderUtf8.pop_back();
    // How long the folder may be is the machine's rule: its calls refuse a path past the limit.
    if (!MachinePath(folderUtf8, &folder)) {
        host::CloseMachine();
        return Usage("--folder needs a full Windows path below a drive root, such as " + std::string(kDefaultFolder));
    }
    // A failed install writes nothing: what is looked up is checked before the first write,
    // and the folders and files made before a failure are taken away again.
    std::string programs;
    WriteLog made;
    bool ok = CommonPrograms(&programs, &error) && Seed(folder, version, size, databaseSize, &error) &&
              (driver == DRIVER_NONE || SeedDrivers(version, &error));
    if (ok && driver == DRIVER_LOADED) {
        DWORD r = host::LoadStartDrivers(&loaded);
        if (r != ERROR_SUCCESS) error = "cannot record the loaded drivers (error " + std::to_string(r) + ")";
        ok = r == ERROR_SUCCESS;
    }
    if (!ok) made.Undo();
    host::CloseMachine();
    if (!ok) {
        std::cerr << "vkmachine: " << error << "\n";
        return 1;
    }
    // Unknown builds are allowed (the updater must refuse them), but never by a slip of the pen.
    if (KnownBuild(version) == nullptr)
        std::cerr << "vkmachine: note: \"" << version << "\" is not in the known-version table (builds are "
                  << "written as in their version resource, such as \"3, 1, 5, 0\"); the updater will not "
                  << "recognise this installation\n";
    std::cout << "installed build " << version << " (" << size << " bytes) in " << folderUtf8 << "\n";
    return 0;
}
