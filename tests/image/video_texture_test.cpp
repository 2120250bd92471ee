#include <qcore/image/looping_video.h>
#include <qcore/image/video_texture.h>
#include <qcore/platform/d3d8/device_hooks.h>
#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/com_ref.h>
#include <qcore/platform/win32/com_runtime.h>
#include <qcore/platform/win32/message_box.h>

#include "support/temp_dir.h"
#include "support/video_clip.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using qcore::ComRef;
using qcore::test::TempDir;

// Pumps the thread's messages until `done` holds; the deadline only keeps a broken build from hanging.
template <class Pred> bool pump_until(Pred done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

uint32_t texel(IDirect3DTexture8* texture, int x, int y) {
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) return 0;
    uint32_t value = 0;
    std::memcpy(&value,
                static_cast<const BYTE*>(locked.pBits) + static_cast<ptrdiff_t>(y) * locked.Pitch + x * 4, 4);
    texture->UnlockRect(0);
    return value;
}

// The clip frame a texel shows, or -1.
int frame_shown(uint32_t argb, int frames) {
    return qcore::test::frame_of_colour(argb & 0xFF, (argb >> 8) & 0xFF, (argb >> 16) & 0xFF, frames);
}

// A video texture that remembers which clip frame each update showed.
class WatchedVideo : public CBaseVideoTexture {
public:
    explicit WatchedVideo(int frames) : frames_(frames) {}
    void on_texture_updated() override {
        const int shown = frame_shown(texel(GetTexture(), 0, 0), frames_);
        std::lock_guard hold(lock_);
        shown_.push_back(shown);
    }
    std::vector<int> shown() {
        std::lock_guard hold(lock_);
        return shown_;
    }
    size_t updates() { return shown().size(); }

private:
    int frames_;
    std::mutex lock_;
    std::vector<int> shown_;
};

class VideoTextureTest : public ::testing::Test {
protected:
    void SetUp() override {
        qcore::reset_device_hooks();
        CoInitialize(nullptr);
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "qcore_video_test";
        RegisterClassA(&wc);
        ASSERT_TRUE(main_.CreateEx(0, "qcore_video_test", "main", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr));
        AfxGetApp()->m_pMainWnd = &main_;
        *d3d_.out() = Direct3DCreate8(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = 64;
        pp.BackBufferHeight = 64;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, main_.GetSafeHwnd(),
                                     D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, device_.out()),
                  D3D_OK);
    }
    void TearDown() override {
        device_.reset();
        d3d_.reset();
        AfxGetApp()->m_pMainWnd = nullptr;
        main_.DestroyWindow();
        CoUninitialize();
    }

    std::string clip(int width, int height, int frames, const char* name = "clip.avi") {
        const std::string path = dir_.file(name);
        EXPECT_TRUE(qcore::test::write_solid_clip(path, width, height, frames));
        return path;
    }

    IDirect3DDevice8* device() { return device_.get(); }

    TempDir dir_;
    qcore::MessageBoxRecorder boxes_;

private:
    CWnd main_;
    ComRef<IDirect3D8> d3d_;
    ComRef<IDirect3DDevice8> device_;
};

CMediaType video_type(LONG width, LONG height, const GUID& subtype = MEDIASUBTYPE_RGB24) {
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&FORMAT_VideoInfo);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = height;
    vih->bmiHeader.biBitCount = 24;
    return mt;
}

// A renderer on its own, as the graph would hold it.
struct LoneRenderer {
    explicit LoneRenderer(CBaseVideoTexture& owner) {
        HRESULT hr = E_UNEXPECTED;
        renderer = new CTextureRenderer(&owner, nullptr, &hr);
        renderer->AddRef();
        EXPECT_EQ(hr, S_OK);
    }
    ~LoneRenderer() { renderer->Release(); }
    CTextureRenderer* operator->() const { return renderer; }
    CTextureRenderer* renderer;
};

CMediaSample* sample_of(const std::vector<BYTE>& bytes) {
    auto* sample = new CMediaSample(static_cast<LONG>(bytes.size()));
    sample->AddRef();
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memcpy(data, bytes.data(), bytes.size());
    return sample;
}

TEST_F(VideoTextureTest, MediaTypesGiveTexturesOfTheVideosSize) {
    CBaseVideoTexture owner;
    owner.device = device();
    struct Row {
        LONG width, height;
        LONG pitch, rows;
    };
    for (const Row row : {Row{320, 240, 960, 240}, Row{322, 240, 968, 240}, Row{321, -17, 964, 17}}) {
        LoneRenderer r(owner);
        const CMediaType mt = video_type(row.width, row.height);
        ASSERT_EQ(r->CheckMediaType(&mt), S_OK);
        ASSERT_EQ(r->SetMediaType(&mt), S_OK) << row.width;
        EXPECT_EQ(r->video_pitch, row.pitch);
        EXPECT_EQ(r->video_height, row.rows);
        EXPECT_EQ(r->tex_format, D3DFMT_A8R8G8B8);
        D3DSURFACE_DESC desc{};
        r->GetTexture()->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Width, static_cast<UINT>(row.width)); // the exact size, not a power of two
        EXPECT_EQ(desc.Height, static_cast<UINT>(row.rows));
        EXPECT_EQ(r->GetTexture()->GetLevelCount(), 1u);
    }
}

TEST_F(VideoTextureTest, RefusesTypesNoTextureCanTake) {
    CBaseVideoTexture owner;
    owner.device = device();
    LoneRenderer r(owner);
    const CMediaType rgb32 = video_type(16, 16, MEDIASUBTYPE_RGB32);
    EXPECT_EQ(r->CheckMediaType(&rgb32), E_FAIL);
    CMediaType other_format = video_type(16, 16);
    other_format.SetFormatType(&FORMAT_None);
    EXPECT_EQ(r->CheckMediaType(&other_format), E_INVALIDARG);
    CMediaType short_block = video_type(16, 16);
    short_block.SetFormat(short_block.Format(), 20);
    EXPECT_EQ(r->CheckMediaType(&short_block), E_INVALIDARG);
    for (const auto& [w, h] :
         {std::pair<LONG, LONG>{0, 16}, {-8, 16}, {16, 0}, {100000, 16}, {16, INT32_MIN}}) {
        const CMediaType mt = video_type(w, h);
        EXPECT_EQ(r->SetMediaType(&mt), VFW_E_TYPE_NOT_ACCEPTED) << w << " x " << h;
    }
    EXPECT_EQ(r->GetTexture(), nullptr);
    // The interfaces the renderer's base classes give it.
    for (const IID* iid : {&IID_IBaseFilter, &IID_IAMovieSetup, &IID_IQualProp, &IID_IQualityControl}) {
        IUnknown* unknown = nullptr;
        EXPECT_EQ(r->QueryInterface(*iid, reinterpret_cast<void**>(&unknown)), S_OK);
        if (unknown) unknown->Release();
    }
    CLSID clsid{};
    r->GetClassID(&clsid);
    EXPECT_TRUE(clsid == CLSID_TextureRenderer);
}

TEST_F(VideoTextureTest, FramesAreCopiedBottomUpWithFullAlpha) {
    CBaseVideoTexture owner;
    owner.device = device();
    for (LONG height : {2, -2}) { // a negative height still means bottom-up rows here
        LoneRenderer r(owner);
        const CMediaType mt = video_type(2, height);
        ASSERT_EQ(r->SetMediaType(&mt), S_OK);
        // Pitch 8: two 3-byte pixels and two bytes of padding per row. First row in the buffer: black, red.
        std::vector<BYTE> frame = {0, 0, 0, 0, 0, 255, 9, 9, 10, 20, 30, 255, 255, 255, 9, 9};
        CMediaSample* sample = sample_of(frame);
        EXPECT_EQ(r->DoRenderSample(sample), S_OK);
        EXPECT_EQ(texel(r->GetTexture(), 0, 1), 0xFF000000u); // black
        EXPECT_EQ(texel(r->GetTexture(), 1, 1), 0xFFFF0000u);
        EXPECT_EQ(texel(r->GetTexture(), 0, 0), 0xFF1E140Au);
        EXPECT_EQ(texel(r->GetTexture(), 1, 0), 0xFFFFFFFFu);
        // A sample shorter than pitch x height is dropped, not read past its end.
        sample->SetActualDataLength(15);
        std::memset(frame.data(), 0x77, frame.size());
        EXPECT_EQ(r->DoRenderSample(sample), E_FAIL);
        EXPECT_EQ(texel(r->GetTexture(), 0, 1), 0xFF000000u);
        sample->Release();
    }
}

TEST_F(VideoTextureTest, SixteenBitTexturesGetFiveBitsAndTheAlphaBit) {
    const BYTE source[] = {0, 0, 0, 255, 255, 255, 0, 0, 255, 0, 8, 0}; // pitch 12: one row of four
    uint16_t texels[4] = {};
    ASSERT_TRUE(qcore::detail::copy_bgr24_frame(source, 12, 4, 1, D3DFMT_A1R5G5B5,
                                                reinterpret_cast<BYTE*>(texels), 8));
    EXPECT_EQ(texels[0], 0x8000); // black
    EXPECT_EQ(texels[1], 0xFFFF);
    EXPECT_EQ(texels[2], 0xFC00); // red
    EXPECT_EQ(texels[3], 0x8020); // green 8 keeps its one bit
    EXPECT_FALSE(
        qcore::detail::copy_bgr24_frame(source, 12, 4, 1, D3DFMT_R5G6B5, reinterpret_cast<BYTE*>(texels), 8));
}

TEST_F(VideoTextureTest, RowsOfAnyWidthCopyEveryPixel) {
    for (LONG width : {1, 3, 4, 5, 8, 11}) {
        const LONG pitch = (width * 3 + 3) & ~3;
        std::vector<BYTE> source(static_cast<size_t>(pitch) * 2, 0xEE);
        for (LONG row = 0; row < 2; ++row)
            for (LONG x = 0; x < width * 3; ++x)
                source[static_cast<size_t>(row * pitch + x)] = static_cast<BYTE>(row * 100 + x * 7 + 1);
        std::vector<uint32_t> target(static_cast<size_t>(width) * 2 + 1, 0x12345678);
        ASSERT_TRUE(qcore::detail::copy_bgr24_frame(source.data(), pitch, width, 2, D3DFMT_A8R8G8B8,
                                                    reinterpret_cast<BYTE*>(target.data()), width * 4));
        for (LONG row = 0; row < 2; ++row)
            for (LONG x = 0; x < width; ++x) {
                const BYTE* s = &source[static_cast<size_t>(row * pitch + x * 3)];
                const uint32_t want = 0xFF000000u | uint32_t(s[2]) << 16 | uint32_t(s[1]) << 8 | s[0];
                EXPECT_EQ(target[static_cast<size_t>((1 - row) * width + x)], want) << width << " " << x;
            }
        EXPECT_EQ(target.back(), 0x12345678u); // nothing written past the last row
    }
}

TEST_F(VideoTextureTest, ANewMediaTypeLeavesTheOldTextureUsable) {
    CBaseVideoTexture owner;
    owner.device = device();
    LoneRenderer r(owner);
    const CMediaType small = video_type(8, 8), large = video_type(16, 12);
    ASSERT_EQ(r->SetMediaType(&small), S_OK);
    IDirect3DTexture8* first = r->GetTexture();
    ASSERT_EQ(r->SetMediaType(&small), S_OK);
    EXPECT_EQ(r->GetTexture(), first); // same size: the same texture
    ASSERT_EQ(r->SetMediaType(&large), S_OK);
    EXPECT_NE(r->GetTexture(), first);
    // A caller that took the first texture may still draw from it.
    D3DSURFACE_DESC desc{};
    EXPECT_EQ(first->GetLevelDesc(0, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 8u);
}

TEST_F(VideoTextureTest, FilesThatCannotBePlayedShowTheSourceMessage) {
    qcore::test::write_file_bytes(dir_.file("notes.avi"), "not a video at all\n");
    struct Case {
        std::string file;
        HRESULT hr;
        const char* text;
    };
    const Case cases[] = {
        {dir_.file("missing.avi"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
         "Could not create source filter to graph!  hr=0x80070002"},
        {dir_.file("notes.avi"), VFW_E_UNKNOWN_FILE_TYPE,
         "Could not create source filter to graph!  hr=0x80040240"},
        {dir_.file(std::string(300, 'x') + ".avi"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
         "Could not create source filter to graph!  hr=0x80070002"},
    };
    for (const Case& c : cases) {
        boxes_.clear();
        CBaseVideoTexture video;
        EXPECT_EQ(video.Load(device(), c.file.c_str()), c.hr);
        EXPECT_EQ(boxes_.texts(), std::vector<std::string>{c.text});
        EXPECT_EQ(video.GetTexture(), nullptr);
        EXPECT_EQ(video.graph, nullptr);
        EXPECT_EQ(video.Play(), 1); // nothing to play
        EXPECT_EQ(video.play_state, 2);
    }
}

TEST_F(VideoTextureTest, SeekingShowsTheDecodedFrameAtThatTime) {
    const std::string file = clip(64, 48, 20);
    WatchedVideo video(20);
    ASSERT_EQ(video.Load(device(), file.c_str()), S_OK);
    EXPECT_TRUE(boxes_.texts().empty());
    ASSERT_NE(video.GetTexture(), nullptr);
    ASSERT_EQ(video.media_control->Pause(), S_OK);
    OAFilterState state;
    ASSERT_EQ(video.media_control->GetState(5000, &state), S_OK);
    EXPECT_EQ(frame_shown(texel(video.GetTexture(), 32, 24), 20), 0);
    EXPECT_EQ(video.GotoTime(0.3), 1); // frame 7 covers 0.28 to 0.32
    EXPECT_EQ(video.play_state, 0);
    ASSERT_EQ(video.media_control->GetState(5000, &state), S_OK);
    EXPECT_EQ(frame_shown(texel(video.GetTexture(), 32, 24), 20), 7);
    EXPECT_EQ(frame_shown(texel(video.GetTexture(), 0, 47), 20), 7);
    EXPECT_EQ(video.shown(), (std::vector<int>{0, 7}));
}

TEST_F(VideoTextureTest, LoopsFromTheStartWhenTheStreamEnds) {
    const std::string file = clip(32, 32, 6);
    WatchedVideo video(6);
    ASSERT_EQ(video.Load(device(), file.c_str()), S_OK);
    ASSERT_NE(video.event_wnd, nullptr);
    EXPECT_EQ(video.Play(), 1);
    EXPECT_EQ(video.play_state, 0);
    ASSERT_TRUE(pump_until([&] { return video.updates() >= 14; }));
    const std::vector<int> shown = video.shown();
    for (size_t i = 0; i < 14; ++i)
        EXPECT_EQ(shown[i], static_cast<int>(i % 6)) << i;
    EXPECT_EQ(video.Stop(), 1);
    EXPECT_EQ(video.play_state, 2);
}

TEST_F(VideoTextureTest, FreeWhilePlayingStopsAtOnceAndAllowsANewLoad) {
    const std::string file = clip(32, 32, 250);
    WatchedVideo video(250);
    ASSERT_EQ(video.Load(device(), file.c_str()), S_OK);
    video.Play();
    ASSERT_TRUE(pump_until([&] { return video.updates() >= 2; }));
    EXPECT_EQ(video.Free(), 1);
    const size_t after_free = video.updates();
    EXPECT_EQ(video.GetTexture(), nullptr);
    EXPECT_EQ(video.event_wnd, nullptr);
    EXPECT_EQ(video.play_state, 2);
    EXPECT_EQ(video.updates(), after_free); // the stream ended inside Free

    // Loading again brings the event window back, so the new video loops too.
    const std::string short_clip = clip(16, 16, 3, "short.mp4");
    WatchedVideo again(3);
    ASSERT_EQ(again.Load(device(), short_clip.c_str()), S_OK);
    again.Free();
    ASSERT_EQ(again.Load(device(), short_clip.c_str()), S_OK);
    ASSERT_NE(again.event_wnd, nullptr);
    again.Play();
    EXPECT_TRUE(pump_until([&] { return again.updates() >= 7; }));
}

TEST_F(VideoTextureTest, DestroyingAPlayingVideoEndsItsStream) {
    const std::string file = clip(32, 32, 250);
    for (int round = 0; round < 3; ++round) {
        auto video = std::make_unique<WatchedVideo>(250);
        ASSERT_EQ(video->Load(device(), file.c_str()), S_OK);
        video->Play();
        ASSERT_TRUE(pump_until([&] { return video->updates() >= static_cast<size_t>(round); }));
        video.reset(); // a late frame would reach freed memory: the sanitizers watch for it
    }
}

TEST_F(VideoTextureTest, StreamReportsAreShownOnTheOwnersThread) {
    CBaseVideoTexture video;
    ASSERT_NE(video.event_wnd, nullptr);
    std::thread::id shown_on;
    qcore::set_message_box_handler([&](const char*, UINT) {
        shown_on = std::this_thread::get_id();
        return IDOK;
    });
    std::thread stream(
        [&] { video.report_from_stream("3, D3DERR_INVALIDCALL, LockRect failed on DoRenderSample!"); });
    stream.join();
    EXPECT_EQ(shown_on, std::thread::id()); // not on the streaming thread
    ASSERT_TRUE(pump_until([&] { return shown_on != std::thread::id(); }));
    EXPECT_EQ(shown_on, std::this_thread::get_id());
    qcore::set_message_box_handler({});
}

TEST_F(VideoTextureTest, TheRenderThreadDrawsWhileTheStreamWrites) {
    const std::string file = clip(64, 64, 8);
    WatchedVideo video(8);
    ASSERT_EQ(video.Load(device(), file.c_str()), S_OK);
    IDirect3DTexture8* texture = video.GetTexture();
    ASSERT_NE(texture, nullptr);
    std::atomic<bool> done{false};
    std::thread render([&] {
        struct Vertex {
            float x, y, z, rhw, u, v;
        };
        const Vertex quad[] = {
            {0, 0, 0, 1, 0, 0}, {64, 0, 0, 1, 1, 0}, {0, 64, 0, 1, 0, 1}, {64, 64, 0, 1, 1, 1}};
        IDirect3DDevice8* dev = device();
        dev->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_TEX1);
        dev->SetRenderState(D3DRS_LIGHTING, FALSE);
        dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        while (!done.load()) {
            dev->BeginScene();
            dev->SetTexture(0, texture);
            dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
            dev->SetTexture(0, nullptr);
            dev->EndScene();
        }
    });
    video.Play();
    const bool looped = pump_until([&] { return video.updates() >= 20; });
    done = true;
    render.join();
    EXPECT_TRUE(looped);
    video.Free();
}

} // namespace

namespace {

TEST_F(VideoTextureTest, ALoopingVideoNeedsNoFileAndNoMainWindow) {
    AfxGetApp()->m_pMainWnd = nullptr; // the loop events are then collected when the texture is asked for
    qcore::LoopingVideo video;
    EXPECT_EQ(video.texture(), nullptr);
    ASSERT_TRUE(video.start(device(), dir_.path().c_str(), 32, 16, 4));
    ASSERT_NE(video.texture(), nullptr);
    D3DSURFACE_DESC desc{};
    video.texture()->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 32u);
    EXPECT_TRUE(pump_until([&] { return video.texture() && video.frames_shown() >= 10; }));
    video.stop();
    EXPECT_EQ(video.texture(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir_.file("looping_video.avi")));
}

} // namespace
