// Our SZDD compressor against mscompress (the floor, measured in the same run) on a shared
// library and a text file: output size and time, and their ratios.
//
//   bench_szdd   files: $VK_BENCH_BINARY, $VK_BENCH_TEXT, or the defaults below
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "bench/result_line.h"
#include "formats/szdd.h"

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

const int kRuns = 3;  // each compressor on each input; the best run counts

void Ours(const std::string& name, const std::string& path) {
    const std::string data = ReadAll(path);
    for (int run = 0; run < kRuns; ++run) {
        auto start = std::chrono::steady_clock::now();
        std::string file = szdd::Compress(data);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        Record(name + "/ours", seconds, file.size());
    }
}

// mscompress compresses a file in place to <name>_; the time includes starting it.
bool Mscompress(const std::string& name, const std::string& path) {
    const std::string data = ReadAll(path), copy = workDir + "/input", packed = copy + "_";
    std::ofstream(copy, std::ios::binary) << data;
    for (int run = 0; run < kRuns; ++run) {
        unlink(packed.c_str());
        auto start = std::chrono::steady_clock::now();
        int status = system(("mscompress '" + copy + "' >/dev/null 2>&1").c_str());
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status != 0) return false;
        Record(name + "/mscompress", seconds, ReadAll(packed).size());
    }
    return true;
}

}  // namespace

int main() {
    char pattern[] = "/tmp/bench_szdd-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    workDir = pattern;
    const std::pair<std::string, std::string> inputs[] = {
        {"binary", InputPath("VK_BENCH_BINARY", "/usr/lib/x86_64-linux-gnu/libstdc++.so.6")},
        {"text", InputPath("VK_BENCH_TEXT", "/usr/include/c++/12/bits/stl_algo.h")},
    };
    for (const auto& input : inputs) {
        std::printf("%s: %s, %zu bytes\n", input.first.c_str(), input.second.c_str(), ReadAll(input.second).size());
        if (!Mscompress(input.first, input.second)) {
            std::fprintf(stderr, "bench_szdd: mscompress failed on %s\n", input.second.c_str());
            return 1;
        }
        Ours(input.first, input.second);
    }
    system(("rm -rf '" + workDir + "'").c_str());

    // Best of the runs, ours against mscompress: goals size <= 0.97, time <= 0.25.
    std::printf("\n%-8s %16s %16s %12s %14s %14s %10s\n", "input", "mscompress bytes", "our bytes", "size ratio",
                "mscompress s", "our s", "speed-up x");
    for (const auto& input : inputs) {
        auto floor = results.find(input.first + "/mscompress"), ours = results.find(input.first + "/ours");
        if (floor == results.end() || ours == results.end()) continue;
        std::printf("%-8s %16zu %16zu %12.4f %14.3f %14.3f %10.1f\n", input.first.c_str(), floor->second.size,
                    ours->second.size, static_cast<double>(ours->second.size) / floor->second.size,
                    floor->second.bestSeconds, ours->second.bestSeconds,
                    floor->second.bestSeconds / ours->second.bestSeconds);
    }
    std::printf("\n");
    for (const auto& input : inputs) {
        const Result &floor = results[input.first + "/mscompress"], &ours = results[input.first + "/ours"];
        double size = static_cast<double>(ours.size) / floor.size, time = ours.bestSeconds / floor.bestSeconds;
        ResultLine(input.first + ": our output / mscompress's output", size, "x", "<= 0.97", size <= 0.97);
        ResultLine(input.first + ": our time / mscompress's time (best of " + std::to_string(kRuns) + ")", time, "x",
                   "<= 0.25", time <= 0.25);
    }
    return 0;
}
