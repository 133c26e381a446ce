// What every benchmark prints: one line per figure, saying what is measured, its value and
// unit, the goal and whether the run met it; and a plain timer, so that the figures come from
// the same optimised build as the code they measure.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

// `goal` is "" for a figure without one (a floor, or a figure given for scale); `met` is
// read only when there is a goal.
inline void ResultLine(const std::string& what, double value, const char* unit, const std::string& goal, bool met) {
    std::printf("  %-58s %10.2f %-6s goal: %-10s %s\n", what.c_str(), value, unit, goal.empty() ? "none" : goal.c_str(),
                goal.empty() ? "" : met ? "met" : "NOT MET");
}

// The mean wall time of `run`, in milliseconds, over at least `least` runs and `seconds` of
// runs; `before` goes untimed before each.
template <typename Before, typename Run>
double MeanMilliseconds(int least, double seconds, Before before, Run run) {
    double total = 0;
    int count = 0;
    while (count < least || total < seconds) {
        before();
        auto start = std::chrono::steady_clock::now();
        run();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++count;
    }
    return total * 1000 / count;
}
