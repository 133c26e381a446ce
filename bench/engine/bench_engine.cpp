// Times InstallPayloadFiles on a Windows XP machine against what any engine must pay here:
// expanding the 41 payloads with libmspack into a folder (the floor), and copying the expanded
// bytes (the physical floor). Prints each figure with its unit and goal.
#include <mspack.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/result_line.h"
#include "payload/install_engine.h"
#include "payload/payload_table.h"
#include "platform/files.h"
#include "emulator/machine/host.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/system.h"
#include "process/process_state.h"

namespace {

namespace fs = std::filesystem;

const char kFolder[] = "C:\\Program Files\\Orvane\\Velkor TARN";

struct Setup {
    std::string root;      // host folder of everything below
    std::string machine;   // the emulated machine
    std::string stored;    // the 41 SZDD payloads as files
    std::string expanded;  // what they expand to
    std::string out;       // where the floors write
};

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string HostPath(const Setup& s, const std::string& windowsPath) {
    std::string rest = windowsPath.substr(2);
    for (char& c : rest)
        if (c == '\\') c = '/';
    return s.machine + "/drive_c" + rest;
}

Setup& TheSetup() {
    static Setup s = [] {
        Setup made;
        char pattern[] = "/tmp/vkbench-XXXXXX";
        made.root = mkdtemp(pattern);
        made.machine = made.root + "/machine";
        made.stored = made.root + "/stored";
        made.expanded = made.root + "/expanded";
        made.out = made.root + "/out";
        for (const std::string& dir : {made.stored, made.expanded, made.out}) fs::create_directories(dir);
        for (const char* sub : {"/drive_c/WINDOWS/TEMP", "/drive_c/WINDOWS/system32/Drivers",
                                "/drive_c/Program Files/Orvane/Velkor TARN"})
            fs::create_directories(made.machine + sub);
        Write(made.machine + "/machine.ini", "[windows]\nplatform = 2\nmajor = 5\nminor = 1\n");
        std::string error;
        if (!platform::host::WriteEmptyRegistry(made.machine, &error) ||
            !platform::host::OpenMachine(made.machine, &error)) {
            std::fprintf(stderr, "bench_engine: %s\n", error.c_str());
            std::exit(1);
        }
        InitProcessState(platform::host::ModuleHandle());
        // The payloads as files, and their expansion once, for the floors.
        msszdd_decompressor* expander = mspack_create_szdd_decompressor(nullptr);
        for (int row = 0; row < PAYLOAD_ROW_COUNT; ++row) {
            const PayloadEntry& e = PayloadTable[row];
            HRSRC found = platform::FindResourceExA(AppModule, RT_RCDATA,
                                                    MAKEINTRESOURCEA(e.payloadIndex + PAYLOAD_RESOURCE_BASE), 0);
            const char* bytes = static_cast<const char*>(platform::LockResource(platform::LoadResource(AppModule, found)));
            Write(made.stored + "/" + e.tempName, std::string(bytes, platform::SizeofResource(AppModule, found)));
            expander->decompress(expander, (made.stored + "/" + e.tempName).c_str(),
                                 (made.expanded + "/" + e.tempName).c_str());
            // An installed product: an old file at every target of the common and NT5 routes.
            if (row < 34 || row == 40)
                Write(HostPath(made, (row < 34 ? std::string(kFolder) : std::string("C:\\WINDOWS\\system32")) + "\\" +
                                         e.targetPath),
                      "old");
        }
        mspack_destroy_szdd_decompressor(expander);
        return made;
    }();
    return s;
}

// What a run leaves for the restart goes, so that every run starts from the same machine.
void ResetMachine() {
    HKEY key = nullptr;
    if (platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                                KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        platform::RegDeleteValueA(key, "PendingFileRenameOperations");
        platform::RegCloseKey(key);
    }
    platform::DeleteFileA("C:\\WINDOWS\\TEMP\\vk038.tmp");
    platform::DeleteFileA("C:\\WINDOWS\\system32\\vk038.tmp");
}

// One whole run of the engine, its registry saves counted into `saves`.
bool EngineRun(int* saves) {
    bool ok = InstallPayloadFiles({nullptr, nullptr}, kFolder) == 1;
    // Every change of the registry is saved at once, and so is the one registration of the
    // deferred driver rename (PendingFileRenameOperations).
    *saves = platform::host::CallCount("RegSetValueExA") + platform::host::CallCount("RegCreateKeyExA") +
             platform::host::CallCount("RegDeleteValueA") + 1;
    return ok;
}

bool ExpansionFloor() {
    Setup& s = TheSetup();
    bool ok = true;
    msszdd_decompressor* expander = mspack_create_szdd_decompressor(nullptr);
    for (int row = 0; row < PAYLOAD_ROW_COUNT; ++row) {
        const char* name = PayloadTable[row].tempName;
        ok = ok && expander->decompress(expander, (s.stored + "/" + name).c_str(), (s.out + "/" + name).c_str()) ==
                       MSPACK_ERR_OK;
    }
    mspack_destroy_szdd_decompressor(expander);
    return ok;
}

void CopyFloor() {
    Setup& s = TheSetup();
    for (int row = 0; row < PAYLOAD_ROW_COUNT; ++row) {
        const char* name = PayloadTable[row].tempName;
        fs::copy_file(s.expanded + "/" + name, s.out + "/" + name, fs::copy_options::overwrite_existing);
    }
}

}  // namespace

int main() {
    TheSetup();
    bool ok = true;
    int saves = 0;
    double engine = MeanMilliseconds(
        5, 2.0,
        [] {
            ResetMachine();
            platform::host::ClearFaults();
        },
        [&] { ok = EngineRun(&saves) && ok; });
    double floor = MeanMilliseconds(5, 2.0, [] {}, [&] { ok = ExpansionFloor() && ok; });
    double copy = MeanMilliseconds(5, 2.0, [] {}, CopyFloor);
    // One registry value written: what each save of the engine and its post-install steps costs.
    HKEY key = nullptr;
    platform::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\VkBench", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr);
    DWORD value = 0;
    double write = MeanMilliseconds(
        200, 0.5, [] {},
        [&] {
            ++value;
            platform::RegSetValueExA(key, "Value", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
        });
    platform::RegCloseKey(key);
    if (!ok) std::fprintf(stderr, "bench_engine: the engine or libmspack failed\n");
    std::printf("installation engine on an XP machine (mean wall time):\n");
    ResultLine("engine: the 41 payloads installed", engine, "ms", "", false);
    ResultLine("floor: the 41 payloads expanded by libmspack", floor, "ms", "", false);
    ResultLine("floor: the expanded bytes copied (cp)", copy, "ms", "", false);
    ResultLine("engine / expansion floor", engine / floor, "x", "<= 1.2", engine / floor <= 1.2);
    ResultLine("engine / cp", engine / copy, "x", "", false);
    ResultLine("registry saves in one engine run", saves, "saves", "", false);
    ResultLine("one registry save", write, "ms", "", false);
    ResultLine("registry saves' share of the engine run", 100 * saves * write / engine, "%", "", false);
    platform::host::CloseMachine();
    fs::remove_all(TheSetup().root);
    return ok ? 0 : 1;
}
