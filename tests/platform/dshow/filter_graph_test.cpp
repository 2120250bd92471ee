#include <qcore/platform/dshow/base_classes.h>
#include <qcore/platform/dshow/clip_writer.h>
#include <qcore/platform/win32/com_ref.h>
#include <qcore/platform/win32/com_runtime.h>
#include <qcore/platform/win32/message.h>
#include <qcore/platform/win32/window.h>

#include "support/temp_dir.h"
#include "support/video_clip.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace {

using qcore::ComRef;
using qcore::test::TempDir;

constexpr CLSID kRecorderClsid = {0x7e3a1c01, 0x1111, 0x4222, {1, 2, 3, 4, 5, 6, 7, 8}};

// A renderer that keeps the centre pixel and the start time of every frame it is given.
class RecordingRenderer final : public CBaseVideoRenderer {
public:
    struct Frame {
        int b, g, r;
        REFERENCE_TIME start;
    };

    explicit RecordingRenderer(HRESULT* phr) : CBaseVideoRenderer(kRecorderClsid, "recorder", nullptr, phr) {}

    HRESULT CheckMediaType(const CMediaType* mt) override {
        if (*mt->Subtype() == MEDIASUBTYPE_RGB24) offered.push_back(24);
        if (*mt->Subtype() == MEDIASUBTYPE_RGB32) offered.push_back(32);
        if (!(*mt->Subtype() == MEDIASUBTYPE_RGB24) || mt->FormatLength() < sizeof(VIDEOINFOHEADER))
            return E_FAIL;
        return S_OK;
    }
    HRESULT SetMediaType(const CMediaType* mt) override {
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt->Format());
        width = vih->bmiHeader.biWidth;
        height = vih->bmiHeader.biHeight;
        return S_OK;
    }
    HRESULT DoRenderSample(IMediaSample* sample) override {
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        const LONG pitch = (width * 3 + 3) & ~3;
        if (sample->GetActualDataLength() < pitch * height) return E_FAIL;
        const BYTE* p = data + static_cast<ptrdiff_t>(height / 2) * pitch + (width / 2) * 3;
        REFERENCE_TIME start = -1, end = -1;
        sample->GetTime(&start, &end);
        std::lock_guard hold(lock);
        frames.push_back({p[0], p[1], p[2], start});
        return S_OK;
    }
    std::vector<Frame> taken() {
        std::lock_guard hold(lock);
        return frames;
    }

    std::vector<int> offered;
    LONG width = 0, height = 0;
    std::mutex lock;
    std::vector<Frame> frames;
};

class FilterGraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                               IID_IGraphBuilder, reinterpret_cast<void**>(graph.out()))));
        graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(control.out()));
        graph->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(position.out()));
        graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(events.out()));
        HRESULT hr = S_OK;
        renderer = new RecordingRenderer(&hr);
        renderer->AddRef();
        ASSERT_EQ(graph->AddFilter(renderer, u"recorder"), S_OK);
    }
    void TearDown() override {
        control.reset();
        position.reset();
        events.reset();
        graph.reset();
        renderer->Release();
        CoUninitialize();
    }

    // Builds source -> (decoder) -> recorder for a file.
    HRESULT build(const std::string& file) {
        const std::u16string wide(file.begin(), file.end());
        ComRef<IBaseFilter> source;
        if (const HRESULT hr = graph->AddSourceFilter(wide.c_str(), u"SOURCE", source.out()); FAILED(hr))
            return hr;
        ComRef<IPin> out, in;
        EXPECT_EQ(source->FindPin(u"Output", out.out()), S_OK);
        EXPECT_EQ(renderer->FindPin(u"In", in.out()), S_OK);
        return graph->Connect(out.get(), in.get());
    }

    // Samples go through as fast as they come (the graph must be stopped).
    void no_clock() {
        ComRef<IMediaFilter> filter;
        ASSERT_EQ(graph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(filter.out())), S_OK);
        ASSERT_EQ(filter->SetSyncSource(nullptr), S_OK);
    }

    // Plays to the end.
    void play_fast() {
        ASSERT_EQ(control->Run(), S_OK);
        LONG code = 0;
        ASSERT_EQ(events->WaitForCompletion(20000, &code), S_OK);
        EXPECT_EQ(code, EC_COMPLETE);
    }

    TempDir dir;
    ComRef<IGraphBuilder> graph;
    ComRef<IMediaControl> control;
    ComRef<IMediaPosition> position;
    ComRef<IMediaEventEx> events;
    RecordingRenderer* renderer = nullptr;
};

TEST_F(FilterGraphTest, SourceFailuresGiveThePlatformsCodes) {
    ComRef<IBaseFilter> source;
    EXPECT_EQ(graph->AddSourceFilter(u"/no/such/clip.avi", u"SOURCE", source.out()),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(source.get(), nullptr);
    qcore::test::write_file_bytes(dir.file("notes.avi"), "plain text, no pictures here\n");
    EXPECT_EQ(graph->AddSourceFilter(u"", u"SOURCE", source.out()), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    const std::string notes = dir.file("notes.avi");
    EXPECT_EQ(
        graph->AddSourceFilter(std::u16string(notes.begin(), notes.end()).c_str(), u"SOURCE", source.out()),
        VFW_E_UNKNOWN_FILE_TYPE);
    // A named pipe is refused, not waited on.
    const std::string pipe = dir.file("pipe.avi");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(
        graph->AddSourceFilter(std::u16string(pipe.begin(), pipe.end()).c_str(), u"SOURCE", source.out()),
        E_ACCESSDENIED);
}

TEST_F(FilterGraphTest, DecodesEveryFrameInOrderAndReportsCompletion) {
    const std::string file = dir.file("clip.avi");
    ASSERT_TRUE(qcore::test::write_solid_clip(file, 64, 48, 10));
    ASSERT_EQ(build(file), S_OK);
    // The decoder offers 32-bit frames first; the renderer takes the 24-bit ones.
    EXPECT_EQ(renderer->offered, (std::vector<int>{32, 24}));
    EXPECT_EQ(renderer->width, 64);
    EXPECT_EQ(renderer->height, 48); // positive: bottom-up rows
    REFTIME length = 0;
    ASSERT_EQ(position->get_Duration(&length), S_OK);
    EXPECT_NEAR(length, 0.4, 0.05);

    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (!window) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "qcore_graph_test";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, "qcore_graph_test", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                 nullptr);
    }
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(events->SetNotifyWindow(reinterpret_cast<OAHWND>(window), 0x8123, 77), S_OK);
    no_clock();
    play_fast();

    const auto frames = renderer->taken();
    ASSERT_EQ(frames.size(), 10u);
    for (int n = 0; n < 10; ++n) {
        EXPECT_EQ(qcore::test::frame_of_colour(frames[n].b, frames[n].g, frames[n].r, 10), n);
        EXPECT_EQ(frames[n].start, n * 400000); // 25 frames a second in 100 ns units
    }
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    ASSERT_EQ(events->GetEvent(&code, &p1, &p2, 0), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(events->FreeEventParams(code, p1, p2), S_OK);
    EXPECT_EQ(events->GetEvent(&code, &p1, &p2, 0), E_ABORT);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, window, 0x8123, 0x8123, PM_REMOVE));
    EXPECT_EQ(msg.lParam, 77);
    EXPECT_EQ(control->Stop(), S_OK);
    DestroyWindow(window);
}

TEST_F(FilterGraphTest, SeekingShowsTheFrameAtThatTimeAndPlaysOnFromIt) {
    const std::string file = dir.file("clip.mp4");
    ASSERT_TRUE(qcore::test::write_solid_clip(file, 48, 32, 20));
    ASSERT_EQ(build(file), S_OK);
    no_clock();
    ASSERT_EQ(control->Pause(), S_OK);
    OAFilterState state = 0;
    EXPECT_EQ(control->GetState(5000, &state), S_OK);
    EXPECT_EQ(state, State_Paused);
    ASSERT_EQ(renderer->taken().size(), 1u); // the paused graph shows its first frame

    ASSERT_EQ(position->put_CurrentPosition(0.5), S_OK); // frame 12 covers 0.48 to 0.52
    EXPECT_EQ(control->GetState(5000, &state), S_OK);
    auto frames = renderer->taken();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(qcore::test::frame_of_colour(frames[1].b, frames[1].g, frames[1].r, 20), 12);
    REFTIME at = 0;
    EXPECT_EQ(position->get_CurrentPosition(&at), S_OK);
    EXPECT_NEAR(at, 0.5, 1e-6);

    play_fast();
    frames = renderer->taken();
    ASSERT_EQ(frames.size(), 9u); // 0 and 12 while paused, then 13 to 19
    for (size_t i = 2; i < frames.size(); ++i)
        EXPECT_EQ(qcore::test::frame_of_colour(frames[i].b, frames[i].g, frames[i].r, 20),
                  static_cast<int>(i) + 11);
}

TEST_F(FilterGraphTest, StopReturnsOnlyWhenTheStreamingThreadHasEnded) {
    const std::string file = dir.file("clip.avi");
    ASSERT_TRUE(qcore::test::write_solid_clip(file, 32, 32, 250)); // ten seconds at the clock's pace
    ASSERT_EQ(build(file), S_OK);
    ASSERT_EQ(control->Run(), S_OK);
    while (renderer->taken().size() < 3)
        std::this_thread::yield();
    ASSERT_EQ(control->Stop(), S_OK);
    OAFilterState state = 0;
    const size_t after_stop = renderer->taken().size();
    EXPECT_GE(after_stop, 1u);
    EXPECT_LT(after_stop, 250u);
    // Nothing arrives once Stop has returned; playing again goes on from where it stopped.
    EXPECT_EQ(renderer->taken().size(), after_stop);
    ASSERT_EQ(control->Pause(), S_OK);
    control->GetState(5000, &state);
    const auto frames = renderer->taken();
    ASSERT_GT(frames.size(), after_stop);
    const auto& last = frames.back();
    EXPECT_GE(qcore::test::frame_of_colour(last.b, last.g, last.r, 250), 0);
}

TEST_F(FilterGraphTest, DamagedStreamsPlayToTheirEnd) {
    const std::string file = dir.file("clip.avi");
    ASSERT_TRUE(qcore::test::write_solid_clip(file, 64, 48, 30));
    std::string bytes = qcore::test::read_file_bytes(file);
    // Garbage over the middle of the frame data, then the tail cut away.
    for (size_t i = bytes.size() / 3; i < bytes.size() / 2; i += 7)
        bytes[i] = static_cast<char>(i * 131);
    bytes.resize(bytes.size() * 3 / 4);
    qcore::test::write_file_bytes(file, bytes);
    ASSERT_EQ(build(file), S_OK);
    no_clock();
    play_fast();
    const auto frames = renderer->taken();
    EXPECT_GE(frames.size(), 5u);
    EXPECT_LT(frames.size(), 30u);
}

TEST_F(FilterGraphTest, FramesOfANewSizeAreScaledToTheConnectedSize) {
    qcore::GeneratedClip clip;
    clip.width = 64;
    clip.height = 48;
    clip.frames = 12;
    clip.resize_at = 6;
    clip.resize_width = 96;
    clip.resize_height = 80;
    clip.paint = qcore::test::paint_solid;
    const std::string file = dir.file("resized.avi");
    ASSERT_TRUE(qcore::write_generated_clip(file.c_str(), clip));
    ASSERT_EQ(build(file), S_OK);
    no_clock();
    play_fast();
    const auto frames = renderer->taken();
    ASSERT_EQ(frames.size(), 12u);
    EXPECT_EQ(renderer->width, 64);
    for (int n = 0; n < 12; ++n)
        EXPECT_EQ(qcore::test::frame_of_colour(frames[n].b, frames[n].g, frames[n].r, 12), n);
}

TEST_F(FilterGraphTest, StatisticsCountDrawnFrames) {
    const std::string file = dir.file("clip.avi");
    ASSERT_TRUE(qcore::test::write_solid_clip(file, 32, 32, 8));
    ASSERT_EQ(build(file), S_OK);
    no_clock();
    play_fast();
    ComRef<IQualProp> stats;
    ASSERT_EQ(renderer->QueryInterface(IID_IQualProp, reinterpret_cast<void**>(stats.out())), S_OK);
    int drawn = 0, dropped = -1;
    stats->get_FramesDrawn(&drawn);
    stats->get_FramesDroppedInRenderer(&dropped);
    EXPECT_EQ(drawn, 8);
    EXPECT_EQ(dropped, 0);
    ComRef<IAMFilterMiscFlags> flags;
    ASSERT_EQ(renderer->QueryInterface(IID_IAMFilterMiscFlags, reinterpret_cast<void**>(flags.out())), S_OK);
    EXPECT_EQ(flags->GetMiscFlags(), AM_FILTER_MISC_FLAGS_IS_RENDERER);
}

} // namespace
