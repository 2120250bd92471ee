#pragma once
// Console output plus one line giving the time of the benchmark named `ours` over that of `peer`.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace qcore::bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter(std::string ours, std::string peer)
        : ours_name_(std::move(ours)), peer_name_(std::move(peer)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration) continue;
            if (r.benchmark_name() == ours_name_)
                ours_ = r.GetAdjustedRealTime();
            else if (r.benchmark_name() == peer_name_)
                peer_ = r.GetAdjustedRealTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (ours_ > 0 && peer_ > 0)
            std::printf("ratio %s / %s: %.2f\n", ours_name_.c_str(), peer_name_.c_str(), ours_ / peer_);
    }

private:
    std::string ours_name_, peer_name_;
    double ours_ = 0, peer_ = 0;
};

// Console output plus one ratio line (ours over peer) for each pair of benchmark names.
class PairsReporter : public benchmark::ConsoleReporter {
public:
    explicit PairsReporter(std::vector<std::pair<std::string, std::string>> pairs)
        : pairs_(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration)
                times_.emplace_back(r.benchmark_name(), r.GetAdjustedRealTime());
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
        for (const auto& [n, t] : times_)
            if (n == name) return t;
        return 0;
    }
    std::vector<std::pair<std::string, std::string>> pairs_;
    std::vector<std::pair<std::string, double>> times_;
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

// Runs the registered benchmarks and prints the ratio of ours to peer.
inline int run_with_ratio(int argc, char** argv, const char* ours, const char* peer) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter(ours, peer);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace qcore::bench
