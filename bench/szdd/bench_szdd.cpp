// Our SZDD compressor against mscompress (the floor, measured in the same run) on a shared
// library and a text file: output size and time, and their ratios.
//
//   bench_szdd [benchmark flags]   files: $VK_BENCH_BINARY, $VK_BENCH_TEXT, or the defaults below
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "tools/szdd/szdd.h"

namespace {

struct Result {
    double bestSeconds = 1e30;
    size_t size = 0;
};
std::map<std::string, Result> results;  // "<input>/<compressor>"
std::string workDir;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string InputPath(const char* variable, const char* fallback) {
    const char* value = getenv(variable);
    return value != nullptr && *value != '\0' ? value : fallback;
}

void Record(const std::string& key, double seconds, size_t size) {
    Result& r = results[key];
    if (seconds < r.bestSeconds) r.bestSeconds = seconds;
    r.size = size;
}

void Ours(benchmark::State& state, const std::string& name, const std::string& path) {
    const std::string data = ReadAll(path);
    size_t size = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        std::string file = szdd::Compress(data);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        size = file.size();
        benchmark::DoNotOptimize(file);
        Record(name + "/ours", seconds, size);
    }
    state.counters["output_bytes"] = static_cast<double>(size);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

// mscompress compresses a file in place to <name>_; the time includes starting it.
void Mscompress(benchmark::State& state, const std::string& name, const std::string& path) {
    const std::string data = ReadAll(path), copy = workDir + "/input", packed = copy + "_";
    std::ofstream(copy, std::ios::binary) << data;
    size_t size = 0;
    for (auto _ : state) {
        unlink(packed.c_str());
        auto start = std::chrono::steady_clock::now();
        int status = system(("mscompress '" + copy + "' >/dev/null 2>&1").c_str());
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status != 0) {
            state.SkipWithError("mscompress failed");
            return;
        }
        size = ReadAll(packed).size();
        Record(name + "/mscompress", seconds, size);
    }
    state.counters["output_bytes"] = static_cast<double>(size);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

}  // namespace

int main(int argc, char** argv) {
    char pattern[] = "/tmp/bench_szdd-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    workDir = pattern;
    const std::pair<std::string, std::string> inputs[] = {
        {"binary", InputPath("VK_BENCH_BINARY", "/usr/lib/x86_64-linux-gnu/libstdc++.so.6")},
        {"text", InputPath("VK_BENCH_TEXT", "/usr/include/c++/12/bits/stl_algo.h")},
    };
    for (const auto& input : inputs) {
        std::printf("%s: %s, %zu bytes\n", input.first.c_str(), input.second.c_str(), ReadAll(input.second).size());
        benchmark::RegisterBenchmark(("mscompress/" + input.first).c_str(), Mscompress, input.first, input.second)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
        benchmark::RegisterBenchmark(("ours/" + input.first).c_str(), Ours, input.first, input.second)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    system(("rm -rf '" + workDir + "'").c_str());

    // Best of the runs, ours against mscompress: targets size <= 0.97, time <= 0.25.
    std::printf("\n%-8s %12s %12s %10s %10s %10s %10s\n", "input", "mscompress", "ours", "size", "ms time",
                "our time", "speed-up");
    for (const auto& input : inputs) {
        auto floor = results.find(input.first + "/mscompress"), ours = results.find(input.first + "/ours");
        if (floor == results.end() || ours == results.end()) continue;
        std::printf("%-8s %12zu %12zu %10.4f %9.3fs %9.3fs %9.1fx\n", input.first.c_str(), floor->second.size,
                    ours->second.size, static_cast<double>(ours->second.size) / floor->second.size,
                    floor->second.bestSeconds, ours->second.bestSeconds,
                    floor->second.bestSeconds / ours->second.bestSeconds);
    }
    return 0;
}
