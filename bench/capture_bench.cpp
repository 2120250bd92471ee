// Capturing a 1920 x 1080 back buffer (not lockable, so the capture copies it, as for every device the
// library creates) and saving it as a JPEG file at quality 98, side by side with libjpeg-turbo compressing
// the same pixels alone (to memory, no capture, no file). The file goes to a folder on the disk and, where
// there is one, to a folder in memory (/dev/shm): the difference is the file system's part (a new file
// flushed, the old one it replaces freed).
#include <qcore/image/surfacefun.h>
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/window.h>

#include <bench/headless_device.h>
#include <bench/ratio_reporter.h>

#include <benchmark/benchmark.h>

#include <cstdio>
// The v6 interface needs <cstdio> first.
#include <jpeglib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr UINT width = 1920, height = 1080;

// A frame like a rendered scene: smooth shading with some texture noise.
uint32_t frame_pixel(UINT x, UINT y) {
    const uint32_t noise = (x * 2654435761u ^ y * 40503u) >> 28;
    const uint32_t r = (x * 255 / width + noise) & 0xFF, g = (y * 255 / height) & 0xFF;
    const uint32_t b = ((x + y) / 12 + noise * 3) & 0xFF;
    return 0xFF000000u | r << 16 | g << 8 | b;
}

struct Scene {
    qcore::bench::HeadlessDevice host{width, height};
    IDirect3DDevice8* device = host.device;
    IDirect3DSurface8* target = nullptr;
    std::string folder, memory_folder;

    Scene() {
        IDirect3DSurface8* frame = nullptr;
        device->CreateImageSurface(width, height, D3DFMT_X8R8G8B8, &frame);
        D3DLOCKED_RECT locked{};
        frame->LockRect(&locked, nullptr, 0);
        for (UINT y = 0; y < height; ++y)
            for (UINT x = 0; x < width; ++x)
                reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch)[x] =
                    frame_pixel(x, y);
        frame->UnlockRect();
        device->GetRenderTarget(&target);
        device->CopyRects(frame, nullptr, 0, target, nullptr);
        frame->Release();
        char pattern[] = "/tmp/qcore_capture_bench.XXXXXX";
        folder = mkdtemp(pattern) ? pattern : "/tmp";
        char in_memory[] = "/dev/shm/qcore_capture_bench.XXXXXX";
        if (mkdtemp(in_memory)) memory_folder = in_memory;
    }
    ~Scene() {
        std::filesystem::remove_all(folder);
        if (!memory_folder.empty()) std::filesystem::remove_all(memory_folder);
        target->Release();
    }
};

Scene& scene() {
    static Scene s;
    return s;
}

void capture_into(benchmark::State& state, const std::string& folder) {
    if (folder.empty()) return state.SkipWithError("no such folder");
    const std::string file = folder + "/frame.jpg";
    for (auto _ : state)
        if (!surfacefun::save_render_target_to_file(scene().device, CRect(), CSize(), file.c_str()))
            state.SkipWithError("save failed");
}

void BM_CaptureToJpeg(benchmark::State& state) {
    capture_into(state, scene().folder);
}

void BM_CaptureToJpegInMemory(benchmark::State& state) {
    capture_into(state, scene().memory_folder);
}

void BM_LibjpegTurboAlone(benchmark::State& state) {
    std::vector<uint8_t> rgb(size_t{width} * height * 3);
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) {
            const uint32_t p = frame_pixel(x, y);
            uint8_t* d = &rgb[(size_t{y} * width + x) * 3];
            d[0] = uint8_t(p >> 16);
            d[1] = uint8_t(p >> 8);
            d[2] = uint8_t(p);
        }
    for (auto _ : state) {
        jpeg_compress_struct cinfo{};
        jpeg_error_mgr err{};
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        unsigned char* out = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&cinfo, &out, &size);
        cinfo.image_width = width;
        cinfo.image_height = height;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 98, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < height) {
            JSAMPROW row = &rgb[size_t{cinfo.next_scanline} * width * 3];
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        benchmark::DoNotOptimize(size);
        std::free(out);
    }
}

BENCHMARK(BM_CaptureToJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CaptureToJpegInMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegTurboAlone)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return qcore::bench::run_with_pairs(
        argc, argv,
        {{"BM_CaptureToJpeg", "BM_LibjpegTurboAlone"}, {"BM_CaptureToJpegInMemory", "BM_LibjpegTurboAlone"}});
}
