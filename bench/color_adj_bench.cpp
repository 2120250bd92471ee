// Adjusting the colours of a 4096 x 4096 image through a curve table, side by side with a plain copy of the
// same pixels.
#include <qcore/texture/color_adj.h>

#include <bench/ratio_reporter.h>

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr size_t pixel_count = size_t(4096) * 4096;

const std::vector<DWORD>& source_pixels() {
    static const std::vector<DWORD> pixels = [] {
        std::vector<DWORD> p(pixel_count);
        DWORD seed = 7;
        for (DWORD& v : p) {
            seed = seed * 1664525u + 1013904223u;
            v = seed;
        }
        return p;
    }();
    return pixels;
}

COLOR_ADJ_DATA bench_data() {
    COLOR_ADJ_DATA data;
    data.gamma.set_all(150.0f);
    data.brightness = float4(128.0f, 140.0f, 120.0f, 135.0f);
    return data;
}

void BM_AdjustArgb(benchmark::State& state) {
    ColorMatchTab tab;
    CColorAdjFun::cal_match_tab(bench_data(), tab);
    const std::vector<DWORD>& src = source_pixels();
    std::vector<DWORD> dst(pixel_count);
    for (auto _ : state) {
        qcore::adjust_argb_pixels(tab, src.data(), dst.data(), pixel_count);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pixel_count) * 4);
}

void BM_PlainCopy(benchmark::State& state) {
    const std::vector<DWORD>& src = source_pixels();
    std::vector<DWORD> dst(pixel_count);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), pixel_count * sizeof(DWORD));
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pixel_count) * 4);
}

// The same adjustment one adjust_argb call per pixel.
void BM_AdjustArgbPerPixel(benchmark::State& state) {
    ColorMatchTab tab;
    CColorAdjFun::cal_match_tab(bench_data(), tab);
    const std::vector<DWORD>& src = source_pixels();
    std::vector<DWORD> dst(pixel_count);
    for (auto _ : state) {
        for (size_t i = 0; i < pixel_count; ++i)
            dst[i] = CColorAdjFun::adjust_argb(tab, src[i]);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pixel_count) * 4);
}

BENCHMARK(BM_AdjustArgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AdjustArgbPerPixel)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return qcore::bench::run_with_ratio(argc, argv, "BM_AdjustArgb", "BM_PlainCopy");
}
