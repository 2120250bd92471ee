// Loading 200 distinct 512 x 512 JPEG textures through the texture manager (decode, mip chain, format
// conversion) side by side with libjpeg-turbo decoding the same files alone; then the cost of asking again
// for names that are already loaded.
#include <qcore/core/core.h>
#include <qcore/core/device.h>
#include <qcore/platform/d3d8/d3dx/image_codec.h>
#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/window.h>
#include <qcore/texture/tex_man.h>
#include <qcore/texture/texture.h>

#include "ratio_reporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <jpeglib.h>

#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kFiles = 200;
constexpr uint32_t kSize = 512;

struct Scene {
    CWnd window;
    gCore core;
    CDevice device{&core};
    std::string folder;
    std::vector<std::string> files;

    Scene() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "qcore_tex_bench";
        RegisterClassA(&wc);
        window.CreateEx(0, "qcore_tex_bench", "", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr);
        core.dev = &device;
        device.create_windowed_device(&window, D3DFMT_D16, 64, 64);
        folder = "/tmp/qcore_tex_bench_" + std::to_string(::getpid()) + "/";
        std::filesystem::create_directories(folder);
        std::mt19937 rng(7);
        for (int i = 0; i < kFiles; ++i) {
            qcore::detail::ArgbImage img;
            img.width = img.height = kSize;
            img.pixels.resize(size_t{kSize} * kSize);
            for (uint32_t y = 0; y < kSize; ++y)
                for (uint32_t x = 0; x < kSize; ++x) {
                    const uint32_t n = rng() & 15;
                    img.row(y)[x] = 0xff000000u | ((x / 4 + n + i) & 255) << 16 | ((y / 4 + n) & 255) << 8 |
                                    ((x + y + i) / 8 & 255);
                }
            files.push_back(folder + "tex" + std::to_string(i) + ".jpg");
            qcore::detail::write_whole_file(files.back().c_str(), qcore::detail::encode_jpeg(img, 90));
        }
    }
    ~Scene() {
        core.dev = nullptr;
        std::filesystem::remove_all(folder);
    }

    std::vector<CMyComPtr<ITexture>> load_all() {
        std::vector<CMyComPtr<ITexture>> refs;
        refs.reserve(files.size());
        const CTexFileCreateOpt opt;
        for (const std::string& f : files) {
            refs.push_back(ITexture::create_empty(&core, 1));
            refs.back()->create_tex_file(f.c_str(), nullptr, opt, 0);
        }
        return refs;
    }
};

Scene& scene() {
    static Scene s;
    return s;
}

void tex_manager_load(benchmark::State& state) {
    Scene& s = scene();
    for (auto _ : state) {
        std::vector<CMyComPtr<ITexture>> refs = s.load_all();
        if (!refs.back()->can_render(0)) state.SkipWithError("texture not loaded");
        state.PauseTiming();
        refs.clear(); // the last references: files and device textures go
        state.ResumeTiming();
    }
}

// The floor: reading each file and decoding it at full size, nothing else.
void libjpeg_decode(benchmark::State& state) {
    Scene& s = scene();
    std::vector<uint8_t> pixels(size_t{kSize} * kSize * 4);
    for (auto _ : state) {
        for (const std::string& name : s.files) {
            std::vector<uint8_t> file;
            qcore::detail::read_whole_file(name.c_str(), file);
            jpeg_decompress_struct cinfo{};
            jpeg_error_mgr err{};
            cinfo.err = jpeg_std_error(&err);
            jpeg_create_decompress(&cinfo);
            jpeg_mem_src(&cinfo, file.data(), file.size());
            jpeg_read_header(&cinfo, TRUE);
            cinfo.out_color_space = JCS_EXT_BGRA;
            jpeg_start_decompress(&cinfo);
            while (cinfo.output_scanline < cinfo.output_height) {
                JSAMPROW row = pixels.data() + size_t{cinfo.output_scanline} * kSize * 4;
                jpeg_read_scanlines(&cinfo, &row, 1);
            }
            jpeg_finish_decompress(&cinfo);
            jpeg_destroy_decompress(&cinfo);
            benchmark::DoNotOptimize(pixels.data());
        }
    }
}

// With every file loaded, 200 more references to the same names: look-ups only, no decoding.
void tex_manager_second_call(benchmark::State& state) {
    Scene& s = scene();
    const std::vector<CMyComPtr<ITexture>> held = s.load_all();
    for (auto _ : state) {
        std::vector<CMyComPtr<ITexture>> again = s.load_all();
        benchmark::DoNotOptimize(again.data());
        state.PauseTiming();
        again.clear();
        state.ResumeTiming();
    }
}

BENCHMARK(tex_manager_load)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(libjpeg_decode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(tex_manager_second_call)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    return qcore::bench::run_with_ratio(argc, argv, "tex_manager_load", "libjpeg_decode");
}
