// Throughput of the log ring and the cost of one timer measurement.
#include <qcore/core/timer.h>
#include <qcore/data/log.h>

#include <benchmark/benchmark.h>

namespace {

void BM_AddLog(benchmark::State& state) {
    CBaseLog log;
    for (auto _ : state)
        benchmark::DoNotOptimize(log.add_log(LOG_INFO, "texture.bmp", ", loaded", nullptr));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddLog);

void BM_TimerRecord(benchmark::State& state) {
    CTimer timer;
    for (auto _ : state) {
        timer.record();
        benchmark::DoNotOptimize(timer.rapid_ms);
    }
}
BENCHMARK(BM_TimerRecord);

} // namespace

BENCHMARK_MAIN();
