#pragma once
// Benchmark reporters that print the time of our benchmark over that of its peer.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qcore::bench {

// Console output plus one ratio line (ours over peer) for each pair of benchmark names. With
// --benchmark_repetitions the ratio is that of the medians, so a cold first run does not decide it.
class PairsReporter : public benchmark::ConsoleReporter {
public:
    explicit PairsReporter(std::vector<std::pair<std::string, std::string>> pairs)
        : pairs_(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration)
                times_[r.benchmark_name()].push_back(r.GetAdjustedRealTime());
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [ours, peer] : pairs_) {
            const double a = time_of(ours), b = time_of(peer);
            if (a > 0 && b > 0) std::printf("ratio %s / %s: %.2f\n", ours.c_str(), peer.c_str(), a / b);
        }
    }

private:
    double time_of(const std::string& name) const {
        const auto it = times_.find(name);
        if (it == times_.end() || it->second.empty()) return 0;
        std::vector<double> t = it->second;
        std::sort(t.begin(), t.end());
        const size_t n = t.size();
        return n % 2 ? t[n / 2] : (t[n / 2 - 1] + t[n / 2]) / 2;
    }
    std::vector<std::pair<std::string, std::string>> pairs_;
    std::map<std::string, std::vector<double>> times_;
};

// Console output plus one line giving the time of the benchmark named `ours` over that of `peer`.
class RatioReporter : public PairsReporter {
public:
    RatioReporter(std::string ours, std::string peer) : PairsReporter({{std::move(ours), std::move(peer)}}) {}
};

// Runs the registered benchmarks through `reporter`, then lets it print its summary (print_ratios).
template <class Reporter> int run_and_summarise(int argc, char** argv, Reporter& reporter) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_ratios();
    benchmark::Shutdown();
    return 0;
}

// Runs the registered benchmarks and prints, for each pair, the ratio of ours to the peer.
inline int run_with_pairs(int argc, char** argv, std::vector<std::pair<std::string, std::string>> pairs) {
    benchmark::Initialize(&argc, argv);
    PairsReporter reporter(std::move(pairs));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

// The same for one pair.
inline int run_with_ratio(int argc, char** argv, const char* ours, const char* peer) {
    return run_with_pairs(argc, argv, {{ours, peer}});
}

} // namespace qcore::bench
