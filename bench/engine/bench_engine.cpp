// Times InstallPayloadFiles on a Windows XP machine against what any engine must pay here:
// expanding the 41 payloads with libmspack into a folder (the floor), and copying the expanded
// bytes (the physical floor). Prints the ratios at the end.
#include <benchmark/benchmark.h>
#include <mspack.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "payload/install_engine.h"
#include "payload/payload_table.h"
#include "platform/files.h"
#include "platform/host/machine/host.h"
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

void EngineRun(benchmark::State& state) {
    TheSetup();
    int registryWrites = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ResetMachine();
        platform::host::ClearFaults();
        state.ResumeTiming();
        if (InstallPayloadFiles({nullptr, nullptr}, kFolder) != 1) state.SkipWithError("the engine failed");
        // Every change of the registry is saved to registry.reg at once, and so is the one
        // registration of the deferred driver rename (PendingFileRenameOperations).
        registryWrites = platform::host::CallCount("RegSetValueExA") + platform::host::CallCount("RegCreateKeyExA") +
                         platform::host::CallCount("RegDeleteValueA") + 1;
    }
    state.counters["registry_changes"] = registryWrites;
}

void ExpansionFloor(benchmark::State& state) {
    Setup& s = TheSetup();
    for (auto _ : state) {
        msszdd_decompressor* expander = mspack_create_szdd_decompressor(nullptr);
        for (int row = 0; row < PAYLOAD_ROW_COUNT; ++row) {
            const char* name = PayloadTable[row].tempName;
            if (expander->decompress(expander, (s.stored + "/" + name).c_str(), (s.out + "/" + name).c_str()) !=
                MSPACK_ERR_OK)
                state.SkipWithError("libmspack failed");
        }
        mspack_destroy_szdd_decompressor(expander);
    }
}

void CopyFloor(benchmark::State& state) {
    Setup& s = TheSetup();
    for (auto _ : state) {
        for (int row = 0; row < PAYLOAD_ROW_COUNT; ++row) {
            const char* name = PayloadTable[row].tempName;
            fs::copy_file(s.expanded + "/" + name, s.out + "/" + name, fs::copy_options::overwrite_existing);
        }
    }
}

// One registry value written: what each write of the engine and its post-install steps costs.
void RegistryWrite(benchmark::State& state) {
    TheSetup();
    HKEY key = nullptr;
    platform::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\VkBench", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr);
    DWORD value = 0;
    for (auto _ : state) {
        ++value;
        platform::RegSetValueExA(key, "Value", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    platform::RegCloseKey(key);
}

BENCHMARK(EngineRun)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(ExpansionFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(CopyFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(RegistryWrite)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Keeps each benchmark's mean real time (milliseconds) beside the usual console output.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, as the library's own reporter does.
    RatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Defaults : OO_Tabular) {}
    std::map<std::string, double> ms;
    std::map<std::string, double> writes;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
            double t = run.GetAdjustedRealTime();
            if (run.time_unit == benchmark::kMicrosecond) t /= 1000.0;
            std::string name = run.benchmark_name();
            name = name.substr(0, name.find('/'));
            ms[name] = t;
            auto c = run.counters.find("registry_changes");
            if (c != run.counters.end()) writes[name] = c->second;
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    double engine = reporter.ms["EngineRun"], floor = reporter.ms["ExpansionFloor"], copy = reporter.ms["CopyFloor"];
    if (engine > 0 && floor > 0 && copy > 0) {
        double registry = reporter.writes["EngineRun"] * reporter.ms["RegistryWrite"];
        std::printf("engine %.1f ms, expansion floor %.1f ms, cp of the expanded bytes %.1f ms\n", engine, floor, copy);
        std::printf("engine / expansion floor = %.2f (aim: 1.2 at most); engine / cp = %.2f\n", engine / floor,
                    engine / copy);
        std::printf("registry: up to %.0f saves per run (writes, key creations, the deferred rename), about %.1f ms "
                    "at %.2f ms each\n",
                    reporter.writes["EngineRun"], registry, reporter.ms["RegistryWrite"]);
    }
    platform::host::CloseMachine();
    fs::remove_all(TheSetup().root);
    return 0;
}
