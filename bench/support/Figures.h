#pragma once

// Figure lines for bench/run: "name: value unit (target: OP value) ok|MISS".

#include <benchmark/benchmark.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <string>

namespace mirelo::bench {

// Prints one figure line; `op` is one of "<=", "<", ">=", ">".
inline bool printFigure(const std::string& name, double value, const std::string& unit,
                        const std::string& op, double target) {
    bool ok = false;
    if (op == "<=")
        ok = value <= target;
    else if (op == "<")
        ok = value < target;
    else if (op == ">=")
        ok = value >= target;
    else if (op == ">")
        ok = value > target;
    std::printf("%s: %.4g %s (target: %s %g) %s\n", name.c_str(), value, unit.c_str(), op.c_str(),
                target, ok ? "ok" : "MISS");
    std::fflush(stdout);
    return ok;
}

// Collects each benchmark's real time per iteration, in seconds, by name.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                times[run.benchmark_name()] =
                    run.real_accumulated_time / static_cast<double>(run.iterations);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

// Runs every registered benchmark (console output to stderr) and returns the
// seconds per iteration of each, by benchmark name.
inline std::map<std::string, double> runAll(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    CollectingReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.times;
}

}  // namespace mirelo::bench
