// Times a whole update (the host vkupdate, scripted, as a process) on Windows XP machines of
// the size real ones have, against the same update on a fresh machine: thousands of files in
// the temporary folder, registries of a hundred thousand and a million values, and both. The
// fresh machine's update is also set against the floor of any update here: expanding the 41
// payloads with libmspack. Every machine is made once; each run gets a fresh copy of it, and
// the runs of all machines take turns, so that a passing load weighs on all alike. Prints the
// median of each, its ratio and the goal.
//
//   bench_update [RUNS]   (5 runs of each by default, after one that is not counted)
#include <fcntl.h>
#include <mspack.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/result_line.h"
#include "payload/payload_table.h"
#include "emulator/machine/host.h"
#include "emulator/registry/regfile.h"
#include "emulator/registry/registry_store.h"
#include "platform/registry.h"
#include "platform/resources.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char kScript[] = "start\nok\nexit\nno\n";  // update, its message, leave, no restart

struct Kind {
    std::string name;
    int tempFiles;
    int registryValues;
    double goal;  // the ratio to the fresh machine aimed at (0: none)
};

const Kind kKinds[] = {
    {"fresh XP machine", 0, 0, 0},
    {"1,000 files in TEMP", 1000, 0, 0},
    {"10,000 files in TEMP", 10000, 0, 1.5},
    {"registry of 100,000 values", 0, 100000, 1.5},
    {"registry of 1,000,000 values", 0, 1000000, 3.0},
    {"10,000 files in TEMP and 1,000,000 values", 10000, 1000000, 0},
};

[[noreturn]] void Die(const std::string& why) {
    std::fprintf(stderr, "bench_update: %s\n", why.c_str());
    std::exit(1);
}

// Runs a program with standard input from `input` and output to `output`; its exit status,
// the wall time (seconds) and the processor time it used (user + system, seconds).
int Run(const std::vector<std::string>& args, const std::string& input, const std::string& output,
        const std::string& machine, double* wall, double* cpu) {
    auto begun = Clock::now();
    pid_t pid = fork();
    if (pid < 0) Die("fork failed");
    if (pid == 0) {
        int in = open(input.c_str(), O_RDONLY), out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) _exit(126);
        if (!machine.empty()) setenv("VKUPDATE_MACHINE", machine.c_str(), 1);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    if (wall != nullptr) *wall = std::chrono::duration<double>(Clock::now() - begun).count();
    if (cpu != nullptr)
        *cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
}

void Copy(const std::string& from, const std::string& to) {
    fs::remove_all(to);
    fs::copy(from, to, fs::copy_options::recursive);
}

// The temporary files a machine in use has: ~DFxxxx names, as word processors leave them.
void AddTempFiles(const std::string& machine, int count) {
    std::string temp = machine + "/drive_c/WINDOWS/TEMP/";
    for (int i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "~DF%04X long temporary name.tmp", i);
        WriteText(temp + name, "temporary");
    }
}

// `count` values of installed software, ten to a key, as .reg lines.
std::string RegistryLines(int count) {
    std::string text;
    char line[1024];
    for (int key = 0; key * 10 < count; ++key) {
        int vendor = key / 1000, product = key % 1000;
        std::snprintf(line, sizeof line, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench Software\\Vendor %03d\\Product %04d]\n",
                      vendor, product);
        text += line;
        std::snprintf(line, sizeof line,
                      "\"DisplayName\"=\"Vendor %03d Product %04d Professional Edition for Windows\"\n"
                      "\"InstallLocation\"=\"C:\\\\Program Files\\\\Vendor %03d\\\\Product %04d\\\\\"\n"
                      "\"Publisher\"=\"Vendor %03d Software Corporation of Japan, Ltd.\"\n"
                      "\"Version\"=dword:%08x\n"
                      "\"Language\"=dword:00000411\n"
                      "\"Flags\"=hex:01,00,00,00,%02x,00,00,00,00,00,00,00,ff,ff,00,00\n"
                      "\"UninstallString\"=\"C:\\\\Program Files\\\\Vendor %03d\\\\Product %04d\\\\uninst.exe /S /LOG\"\n"
                      "\"ModifyPath\"=hex(2):25,00,50,00,46,00,25,00,5c,00,56,00,%02x,00,5c,00,73,00,2e,00,65,00,00,00\n"
                      "\"EstimatedSize\"=dword:%08x\n"
                      "\"NoRepair\"=dword:00000001\n\n",
                      vendor, product, vendor, product, vendor, 0x10000 + key, key & 0xFF, vendor, product,
                      0x41 + key % 26, key * 7);
        text += line;
    }
    return text;
}

// Adds `count` values to the machine's registry, saved as the machine saves it (one whole
// registry.reg, stamped, and no journal).
void AddRegistryValues(const std::string& machine, int count) {
    namespace host = platform::host;
    std::string error, text;
    if (!host::OpenMachine(machine, &error)) Die(error);
    if (!host::FormatRegFile(host::Registry(), &text, &error)) Die(error);
    host::CloseMachine();
    WriteText(machine + "/registry.reg", text + RegistryLines(count));
    fs::remove(machine + "/registry.journal");
    // The first save of a file written from outside writes it whole, with its journal's stamp.
    if (!host::OpenMachine(machine, &error)) Die(error);
    HKEY key = nullptr;
    DWORD one = 1;
    if (platform::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Bench", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr) != ERROR_SUCCESS ||
        platform::RegSetValueExA(key, "Made", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one) !=
            ERROR_SUCCESS)
        Die("the registry of " + machine + " cannot be written");
    platform::RegCloseKey(key);
    host::CloseMachine();
}

// The 41 payloads as the SZDD files they are stored as.
void WritePayloads(const std::string& machine, const std::string& folder) {
    namespace host = platform::host;
    std::string error;
    if (!host::OpenMachine(machine, &error)) Die(error);
    HINSTANCE module = host::ModuleHandle();
    for (int row = 0; row < PAYLOAD_ROW_COUNT; ++row) {
        const PayloadEntry& e = PayloadTable[row];
        HRSRC found = platform::FindResourceExA(module, RT_RCDATA,
                                                MAKEINTRESOURCEA(e.payloadIndex + PAYLOAD_RESOURCE_BASE), 0);
        const char* bytes = static_cast<const char*>(platform::LockResource(platform::LoadResource(module, found)));
        WriteText(folder + "/" + e.tempName, std::string(bytes, platform::SizeofResource(module, found)));
    }
    host::CloseMachine();
}

// The floor: the 41 payloads expanded by libmspack into a folder.
double ExpansionFloor(const std::string& stored, const std::string& out) {
    auto begun = Clock::now();
    msszdd_decompressor* expander = mspack_create_szdd_decompressor(nullptr);
    for (int row = 0; row < PAYLOAD_ROW_COUNT; ++row) {
        const char* name = PayloadTable[row].tempName;
        if (expander->decompress(expander, (stored + "/" + name).c_str(), (out + "/" + name).c_str()) != MSPACK_ERR_OK)
            Die("libmspack failed");
    }
    mspack_destroy_szdd_decompressor(expander);
    return std::chrono::duration<double>(Clock::now() - begun).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    // Options meant for the other benchmarks (--benchmark_...) are left to them.
    int runs = argc > 1 && argv[1][0] != '-' ? std::atoi(argv[1]) : 5;
    if (runs < 1) Die("usage: bench_update [RUNS]");
    char pattern[] = "/tmp/vkbench-update-XXXXXX";
    if (mkdtemp(pattern) == nullptr) Die("no temporary folder");
    const std::string root = pattern;
    const std::string script = root + "/script", log = root + "/log";
    WriteText(script, kScript);

    // The machines, made once.
    std::printf("making the machines in %s ...\n", root.c_str());
    std::fflush(stdout);
    const std::string fresh = root + "/fresh";
    if (Run({VK_MACHINE_EXE, "create", fresh}, "/dev/null", log, "", nullptr, nullptr) != 0 ||
        Run({VK_MACHINE_EXE, "install-product", fresh, "--version", "3, 1, 5, 0"}, "/dev/null", log, "", nullptr,
            nullptr) != 0)
        Die("vkmachine failed: " + ReadText(log));
    std::vector<std::string> templates;
    for (size_t k = 0; k < std::size(kKinds); ++k) {
        const Kind& kind = kKinds[k];
        std::string made = root + "/machine" + std::to_string(k);
        // A registry made for an earlier machine is copied with it.
        size_t same = 0;
        while (same < k && (kKinds[same].registryValues != kind.registryValues || kKinds[same].tempFiles > 0)) ++same;
        Copy(kind.registryValues > 0 && same < k ? templates[same] : fresh, made);
        if (kind.registryValues > 0 && same == k) AddRegistryValues(made, kind.registryValues);
        AddTempFiles(made, kind.tempFiles);
        templates.push_back(made);
        if (kind.registryValues > 0)
            std::printf("  %-44s registry.reg %.1f MB\n", kind.name.c_str(),
                        fs::file_size(made + "/registry.reg") / 1e6);
    }
    const std::string stored = root + "/stored", expanded = root + "/expanded";
    fs::create_directories(stored);
    fs::create_directories(expanded);
    WritePayloads(fresh, stored);

    // Runs taking turns; the first round is not counted.
    std::vector<std::vector<double>> wall(std::size(kKinds)), cpu(std::size(kKinds));
    std::vector<double> floor;
    const std::string machine = root + "/run";
    for (int round = 0; round <= runs; ++round) {
        for (size_t k = 0; k < std::size(kKinds); ++k) {
            Copy(templates[k], machine);
            double w = 0, c = 0;
            int status = Run({VK_UPDATE_EXE}, script, log, machine, &w, &c);
            std::string events = ReadText(log);
            if (status != 0 || events.find("\"pos\":100") == std::string::npos ||
                events.find("{\"event\":\"message\",\"style\":64,") == std::string::npos)
                Die("the update failed on the " + kKinds[k].name + ":\n" + events);
            if (round == 0) continue;
            wall[k].push_back(w);
            cpu[k].push_back(c);
        }
        fs::remove_all(expanded);
        fs::create_directories(expanded);
        double f = ExpansionFloor(stored, expanded);
        if (round > 0) floor.push_back(f);
    }

    double base = Median(wall[0]);
    std::printf("\nwhole update (vkupdate, scripted), median of %d runs each:\n", runs);
    for (size_t k = 0; k < std::size(kKinds); ++k) {
        double w = Median(wall[k]);
        ResultLine(kKinds[k].name + ": wall time", w * 1000, "ms", "", false);
        ResultLine(kKinds[k].name + ": cpu time", Median(cpu[k]) * 1000, "ms", "", false);
        if (k == 0) continue;
        char goal[16] = "";
        if (kKinds[k].goal > 0) std::snprintf(goal, sizeof goal, "<= %.1f", kKinds[k].goal);
        ResultLine(kKinds[k].name + ": wall time / fresh machine's", w / base, "x", goal, w / base <= kKinds[k].goal);
    }
    double f = Median(floor);
    ResultLine("expansion floor (libmspack, the 41 payloads)", f * 1000, "ms", "", false);
    ResultLine("fresh machine's update / expansion floor", base / f, "x", "<= 1.2", base / f <= 1.2);
    fs::remove_all(root);
    return 0;
}
