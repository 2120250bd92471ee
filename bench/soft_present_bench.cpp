// Presenting a back buffer rendered at twice the window's size (supersampled antialiasing) into the window,
// side by side with stb_image_resize shrinking the same pixels.
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/window.h>

#include <benchmark/benchmark.h>
#include <stb_image_resize.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 480;

struct Scene {
    Scene() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "qcore_present_bench";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, kWindowWidth, kWindowHeight,
                                 nullptr, nullptr, nullptr, nullptr);
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = 2 * kWindowWidth;
        pp.BackBufferHeight = 2 * kWindowHeight;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device);
        for (LONG x = 0; x < 2 * kWindowWidth; x += 16) {
            const D3DRECT stripe{x, 0, x + 8, 2 * kWindowHeight};
            device->Clear(1, &stripe, D3DCLEAR_TARGET, 0xff3080c0, 1.f, 0);
        }
    }
    ~Scene() {
        device->Release();
        d3d->Release();
        DestroyWindow(window);
    }
    HWND window = nullptr;
    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* device = nullptr;
};

void BM_PresentHalfSize(benchmark::State& state) {
    Scene scene;
    const RECT source{0, 0, 2 * kWindowWidth, 2 * kWindowHeight};
    for (auto _ : state)
        benchmark::DoNotOptimize(scene.device->Present(&source, nullptr, nullptr, nullptr));
    state.SetItemsProcessed(state.iterations() * kWindowWidth * kWindowHeight);
}
BENCHMARK(BM_PresentHalfSize)->Unit(benchmark::kMillisecond);

// The peer: the same shrink of 32-bit pixels by stb_image_resize (a wider filter, so more work per pixel).
void BM_StbResizeHalfSize(benchmark::State& state) {
    std::vector<unsigned char> in(size_t{4} * 2 * kWindowWidth * 2 * kWindowHeight, 0x80);
    std::vector<unsigned char> out(size_t{4} * kWindowWidth * kWindowHeight);
    for (auto _ : state)
        benchmark::DoNotOptimize(stbir_resize_uint8(in.data(), 2 * kWindowWidth, 2 * kWindowHeight, 0,
                                                    out.data(), kWindowWidth, kWindowHeight, 0, 4));
    state.SetItemsProcessed(state.iterations() * kWindowWidth * kWindowHeight);
}
BENCHMARK(BM_StbResizeHalfSize)->Unit(benchmark::kMillisecond);

// Prints the results as usual, then how many times faster the device's present is than the peer.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs)
            cpu_ns_[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void print_ratio() const {
        const auto ours = cpu_ns_.find("BM_PresentHalfSize"), peer = cpu_ns_.find("BM_StbResizeHalfSize");
        if (ours == cpu_ns_.end() || peer == cpu_ns_.end() || ours->second <= 0) return;
        std::printf("present / stb_image_resize speed ratio: %.2f\n", peer->second / ours->second);
    }

private:
    std::map<std::string, double> cpu_ns_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_ratio();
    benchmark::Shutdown();
}
