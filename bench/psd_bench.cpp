// Decoding a 4096 x 4096 PackBits Photoshop file: our reader side by side with stb_image's on the same bytes.
#include <qcore/image/psd_file.h>

#include <bench/ratio_reporter.h>
#include <tests/support/psd_writer.h>

#include <benchmark/benchmark.h>
#include <stb_image.h>

namespace {

using qcore::test::Bytes;

// A picture-like image: smooth bands (long runs) beside noisy bands (literals), alpha mostly opaque.
const Bytes& sample_file() {
    static const Bytes file = [] {
        constexpr uint32_t side = 4096;
        qcore::test::Image img{side, side, {}};
        uint32_t seed = 12345;
        for (int k = 0; k < 4; ++k) {
            Bytes p(size_t(side) * side);
            for (uint32_t y = 0; y < side; ++y) {
                for (uint32_t x = 0; x < side; ++x) {
                    seed = seed * 1664525u + 1013904223u;
                    const bool noisy = (x / 256 + y / 256 + static_cast<uint32_t>(k)) % 2 == 0;
                    uint8_t v = noisy ? uint8_t(seed >> 24) : uint8_t((x / 64 + y / 32) * (k + 1));
                    if (k == 3) v = noisy ? v : 255;
                    p[size_t(y) * side + x] = v;
                }
            }
            img.planes.push_back(std::move(p));
        }
        qcore::test::Layout lay;
        lay.compression = 1;
        return qcore::test::write_psd(img, lay);
    }();
    return file;
}

void BM_QcorePsd(benchmark::State& state) {
    const Bytes& file = sample_file();
    for (auto _ : state) {
        CPsdFile psd;
        if (!psd.LoadPsdMemory(file.data(), file.size(), IMG_CHANNEL_ARGB, 0))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(psd.GetColorData());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 4096 * 4096 * 4);
}

void BM_StbPsd(benchmark::State& state) {
    const Bytes& file = sample_file();
    for (auto _ : state) {
        int w = 0, h = 0, n = 0;
        stbi_uc* pixels = stbi_load_from_memory(file.data(), int(file.size()), &w, &h, &n, 4);
        if (!pixels) state.SkipWithError("stb load failed");
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 4096 * 4096 * 4);
}

BENCHMARK(BM_QcorePsd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StbPsd)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return qcore::bench::run_with_ratio(argc, argv, "BM_QcorePsd", "BM_StbPsd");
}
