// A 1280 x 720 MPEG-4 Part 2 clip played as fast as it decodes (no presentation clock) into a video
// texture, side by side with FFmpeg alone decoding the same file and converting every frame to BGR24.
#include <qcore/image/video_texture.h>
#include <qcore/platform/dshow/clip_writer.h>
#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/com_ref.h>
#include <qcore/platform/win32/com_runtime.h>

#include <bench/ratio_reporter.h>

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1280, kHeight = 720, kFrames = 100;

const std::string& clip_path() {
    static const std::string path = [] {
        const auto dir = std::filesystem::temp_directory_path() / "qcore_video_bench";
        std::filesystem::create_directories(dir);
        const std::string file = (dir / "clip_720p.avi").string();
        qcore::GeneratedClip clip;
        clip.width = kWidth;
        clip.height = kHeight;
        clip.frames = kFrames;
        clip.quality = 4;
        // Bars that move plus a fine pattern, so that frames carry detail and change from one to the next.
        clip.paint = [](int n, uint8_t* bgr, int pitch, int width, int height) {
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    uint8_t* p = bgr + static_cast<ptrdiff_t>(y) * pitch + x * 3;
                    p[0] = static_cast<uint8_t>((x + n * 8) & 0xE0);
                    p[1] = static_cast<uint8_t>((y * 2 + n * 3) ^ (x & 0x1F));
                    p[2] = static_cast<uint8_t>(((x / 40 + y / 40 + n) % 2) * 180 + (x * y + n) % 64);
                }
        };
        if (!qcore::write_generated_clip(file.c_str(), clip))
            std::fprintf(stderr, "could not write %s\n", file.c_str());
        return file;
    }();
    return path;
}

// Processor time of every thread of the process: the texture's work runs on the streaming thread, and the
// machine may be shared, so wall time would measure the neighbours too.
double process_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

class CountingVideo : public CBaseVideoTexture {
public:
    void on_texture_updated() override { ++frames; }
    int frames = 0;
};

void BM_QcoreVideoTexture(benchmark::State& state) {
    const std::string& file = clip_path();
    CoInitialize(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "qcore_video_bench";
    RegisterClassA(&wc);
    CWnd main;
    main.CreateEx(0, "qcore_video_bench", "", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr);
    qcore::ComRef<IDirect3D8> d3d(Direct3DCreate8(D3D_SDK_VERSION));
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = pp.BackBufferHeight = 64;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    qcore::ComRef<IDirect3DDevice8> device;
    if (FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, main.GetSafeHwnd(), D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &pp, device.out()))) {
        state.SkipWithError("no device");
        return;
    }
    int64_t frames = 0;
    for (auto _ : state) {
        const double begin = process_seconds();
        CountingVideo video;
        if (FAILED(video.Load(device.get(), file.c_str()))) {
            state.SkipWithError("load failed");
            break;
        }
        qcore::ComRef<IMediaFilter> filter;
        video.graph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(filter.out()));
        filter->SetSyncSource(nullptr);
        video.Play();
        LONG code = 0;
        video.media_event->WaitForCompletion(60000, &code);
        frames += video.frames;
        video.Free();
        state.SetIterationTime(process_seconds() - begin);
    }
    state.counters["frames"] = static_cast<double>(frames) / static_cast<double>(state.iterations());
    main.DestroyWindow();
    CoUninitialize();
}

void BM_FfmpegDecodeToBgr24(benchmark::State& state) {
    const std::string& file = clip_path();
    int64_t frames = 0;
    std::vector<uint8_t> bgr(static_cast<size_t>((kWidth * 3 + 3) & ~3) * kHeight);
    for (auto _ : state) {
        const double begin = process_seconds();
        AVFormatContext* format = nullptr;
        if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0 ||
            avformat_find_stream_info(format, nullptr) < 0) {
            state.SkipWithError("open failed");
            break;
        }
        const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        const AVCodecParameters* par = format->streams[stream]->codecpar;
        AVCodecContext* codec = avcodec_alloc_context3(avcodec_find_decoder(par->codec_id));
        avcodec_parameters_to_context(codec, par);
        codec->thread_count = 1;
        avcodec_open2(codec, codec->codec, nullptr);
        AVFrame* frame = av_frame_alloc();
        AVPacket* packet = av_packet_alloc();
        SwsContext* scaler = nullptr;
        const int pitch = (kWidth * 3 + 3) & ~3;
        auto drain = [&] {
            while (avcodec_receive_frame(codec, frame) >= 0) {
                scaler = sws_getCachedContext(scaler, frame->width, frame->height,
                                              static_cast<AVPixelFormat>(frame->format), kWidth, kHeight,
                                              AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
                uint8_t* planes[4] = {bgr.data() + static_cast<ptrdiff_t>(kHeight - 1) * pitch};
                int strides[4] = {-pitch};
                sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
                benchmark::DoNotOptimize(bgr.data());
                ++frames;
            }
        };
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream && avcodec_send_packet(codec, packet) >= 0) drain();
            av_packet_unref(packet);
        }
        avcodec_send_packet(codec, nullptr);
        drain();
        sws_freeContext(scaler);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
        state.SetIterationTime(process_seconds() - begin);
    }
    state.counters["frames"] = static_cast<double>(frames) / static_cast<double>(state.iterations());
}

BENCHMARK(BM_QcoreVideoTexture)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_FfmpegDecodeToBgr24)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace

int main(int argc, char** argv) {
    return qcore::bench::run_with_ratio(argc, argv, "BM_QcoreVideoTexture/manual_time",
                                        "BM_FfmpegDecodeToBgr24/manual_time");
}
