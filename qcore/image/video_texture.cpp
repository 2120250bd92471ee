#include <qcore/image/video_texture.h>

#include <qcore/core/core.h>
#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/com_runtime.h>
#include <qcore/platform/win32/gdi.h>
#include <qcore/platform/win32/input.h>

#include <atomic>
#include <bit>
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Reports from the streaming thread wait for the object's thread under this message.
constexpr UINT kStreamReportMessage = WM_VIDEO_EVENT + 1;
// Reports kept while nobody shows them: a texture that fails every frame must not grow without end.
constexpr size_t kMaxWaitingReports = 16;
// Beyond this a video is no texture any device makes; it also keeps pitch x height far from overflow.
constexpr LONG kMaxVideoSide = 16384;

// Lock failures of every renderer, counted across threads.
std::atomic<int> g_lock_failures{0};

CString hr_text(const char* format, HRESULT hr) {
    CString text;
    text.Format(format, static_cast<unsigned>(hr));
    return text;
}

LRESULT CALLBACK vid_event_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* video = reinterpret_cast<CBaseVideoTexture*>(lparam);
    if (message == WM_VIDEO_EVENT && video) {
        video->proc_vid_event();
        return 0;
    }
    if (message == kStreamReportMessage && video) {
        video->show_stream_reports();
        return 0;
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

// The frame layout a video format describes, or false for a format no texture can take.
bool frame_layout(const CMediaType* mt, LONG& width, LONG& height, LONG& pitch) {
    if (!mt->pbFormat || mt->cbFormat < sizeof(VIDEOINFOHEADER)) return false;
    const BITMAPINFOHEADER& bih = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader;
    const int64_t h = std::llabs(static_cast<int64_t>(bih.biHeight));
    if (bih.biWidth <= 0 || bih.biWidth > kMaxVideoSide || h == 0 || h > kMaxVideoSide) return false;
    width = bih.biWidth;
    height = static_cast<LONG>(h);
    pitch = (width * 3 + 3) & ~3;
    return true;
}

// The result starts as success, so that only a failure of the base classes shows in it.
HRESULT* cleared(HRESULT* phr) {
    if (phr) *phr = S_OK;
    return phr;
}

} // namespace

namespace qcore::detail {

static_assert(std::endian::native == std::endian::little,
              "the frame copy reads pixels as little-endian words");

namespace {

#if defined(__x86_64__)
// Four pixels per shuffle; stops while 16 bytes are still readable in the row, and returns the pixels done.
__attribute__((target("ssse3"))) LONG expand_bgr24_ssse3(const BYTE* s, BYTE* d, LONG width) {
    const __m128i order = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    LONG x = 0;
    for (; x + 6 <= width; x += 4, s += 12, d += 16) {
        const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(_mm_shuffle_epi8(in, order), alpha));
    }
    return x;
}
#endif

LONG expand_bgr24_fast(const BYTE* s, BYTE* d, LONG width) {
#if defined(__x86_64__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) return expand_bgr24_ssse3(s, d, width);
#endif
    (void)s, (void)d, (void)width;
    return 0;
}

} // namespace

bool copy_bgr24_frame(const BYTE* source, LONG pitch, LONG width, LONG height, D3DFORMAT format, BYTE* target,
                      INT target_pitch) {
    if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_A1R5G5B5) return false;
    for (LONG r = 0; r < height; ++r) {
        const BYTE* s = source + static_cast<ptrdiff_t>(r) * pitch;
        BYTE* d = target + static_cast<ptrdiff_t>(height - 1 - r) * target_pitch;
        if (format == D3DFMT_A8R8G8B8) {
            LONG x = expand_bgr24_fast(s, d, width);
            s += x * 3;
            d += x * 4;
            // Four pixels from three little-endian words: B0G0R0B1 G1R1B2G2 R2B3G3R3.
            for (; x + 4 <= width; x += 4, s += 12, d += 16) {
                uint32_t w[3], out[4];
                std::memcpy(w, s, 12);
                out[0] = 0xFF000000u | (w[0] & 0xFFFFFFu);
                out[1] = 0xFF000000u | ((w[0] >> 24 | w[1] << 8) & 0xFFFFFFu);
                out[2] = 0xFF000000u | ((w[1] >> 16 | w[2] << 16) & 0xFFFFFFu);
                out[3] = 0xFF000000u | (w[2] >> 8);
                std::memcpy(d, out, 16);
            }
            for (; x < width; ++x, s += 3, d += 4) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
                d[3] = 0xFF;
            }
        } else {
            for (LONG x = 0; x < width; ++x, s += 3, d += 2) {
                const uint16_t texel =
                    static_cast<uint16_t>(0x8000 | (s[2] >> 3) << 10 | (s[1] >> 3) << 5 | (s[0] >> 3));
                std::memcpy(d, &texel, 2);
            }
        }
    }
    return true;
}

} // namespace qcore::detail

CTextureRenderer::CTextureRenderer(CBaseVideoTexture* owner_, LPUNKNOWN outer, HRESULT* phr)
    : CBaseVideoRenderer(CLSID_TextureRenderer, "Texture Renderer", outer, cleared(phr)), owner(owner_) {
    device = owner_ ? owner_->device : nullptr;
}

CTextureRenderer::~CTextureRenderer() {
    clean_up();
}

void CTextureRenderer::clean_up() {
    std::lock_guard hold(frame_lock_);
    if (texture) texture->Release();
    texture = nullptr;
    for (IDirect3DTexture8* t : retired_)
        t->Release();
    retired_.clear();
    device = nullptr;
    owner = nullptr;
}

void CTextureRenderer::detach_owner() {
    std::lock_guard hold(frame_lock_);
    owner = nullptr;
}

HRESULT CTextureRenderer::CheckMediaType(const CMediaType* mt) {
    if (!(*mt->FormatType() == FORMAT_VideoInfo) || !mt->Format() ||
        mt->FormatLength() < sizeof(VIDEOINFOHEADER))
        return E_INVALIDARG;
    if (!(*mt->Type() == MEDIATYPE_Video) || !(*mt->Subtype() == MEDIASUBTYPE_RGB24)) return E_FAIL;
    return S_OK;
}

HRESULT CTextureRenderer::SetMediaType(const CMediaType* mt) {
    LONG width = 0, height = 0, pitch = 0;
    if (!device || !frame_layout(mt, width, height, pitch)) return VFW_E_TYPE_NOT_ACCEPTED;
    D3DCAPS8 caps{};
    if (SUCCEEDED(device->GetDeviceCaps(&caps)) && (static_cast<DWORD>(width) > caps.MaxTextureWidth ||
                                                    static_cast<DWORD>(height) > caps.MaxTextureHeight))
        return VFW_E_TYPE_NOT_ACCEPTED;
    std::lock_guard hold(frame_lock_);
    if (texture && width == video_width && height == video_height) return S_OK; // the texture still fits
    IDirect3DTexture8* made = nullptr;
    HRESULT hr = device->CreateTexture(static_cast<UINT>(width), static_cast<UINT>(height), 1, 0,
                                       D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &made);
    if (FAILED(hr)) return hr;
    D3DSURFACE_DESC desc{};
    made->GetLevelDesc(0, &desc);
    if (desc.Format != D3DFMT_A8R8G8B8 && desc.Format != D3DFMT_A1R5G5B5) {
        made->Release();
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (texture) retired_.push_back(texture);
    texture = made;
    tex_format = desc.Format;
    video_width = width;
    video_height = height;
    video_pitch = pitch;
    return S_OK;
}

HRESULT CTextureRenderer::DoRenderSample(IMediaSample* sample) {
    std::lock_guard hold(frame_lock_);
    BYTE* source = nullptr;
    if (!texture || FAILED(sample->GetPointer(&source)) || !source) return E_FAIL;
    // A short sample would make the copy read past its end: the frame is dropped.
    if (static_cast<int64_t>(sample->GetActualDataLength()) <
        static_cast<int64_t>(video_pitch) * video_height)
        return E_FAIL;
    D3DLOCKED_RECT locked{};
    HRESULT hr = texture->LockRect(0, &locked, nullptr, 0);
    if (FAILED(hr)) {
        CString text;
        text.Format("%d, %s, LockRect failed on DoRenderSample!", ++g_lock_failures,
                    get_err_string(hr).GetString());
        if (owner) owner->report_from_stream(text.GetString());
        return E_FAIL;
    }
    qcore::detail::copy_bgr24_frame(source, video_pitch, video_width, video_height, tex_format,
                                    static_cast<BYTE*>(locked.pBits), locked.Pitch);
    if (FAILED(texture->UnlockRect(0))) {
        if (owner) owner->report_from_stream("err unlock!");
        return E_FAIL;
    }
    if (owner) owner->on_texture_updated();
    return S_OK;
}

CBaseVideoTexture::CBaseVideoTexture() {
    event_wnd = create_event_wnd();
}

CBaseVideoTexture::~CBaseVideoTexture() {
    Free();
}

HWND CBaseVideoTexture::create_event_wnd() {
    CWinThread* thread = AfxGetThread();
    CWnd* main = thread ? thread->GetMainWnd() : nullptr;
    if (!main || !main->GetSafeHwnd()) return nullptr;
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = vid_event_proc;
    wc.hInstance = AfxGetInstanceHandle();
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    char class_name[32];
    for (int n = 0;; ++n) {
        std::snprintf(class_name, sizeof class_name, "VidEventWnd%d", n);
        wc.lpszClassName = class_name;
        if (RegisterClassA(&wc)) break;
        if (n == INT32_MAX) return nullptr;
    }
    char title[32];
    std::snprintf(title, sizeof title, "%llu",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
    return CreateWindowExA(0, class_name, title, WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, 1, 1,
                           main->GetSafeHwnd(), nullptr, wc.hInstance, nullptr);
}

void CBaseVideoTexture::proc_vid_event() {
    show_stream_reports();
    LONG code = 0;
    LONG_PTR param1 = 0, param2 = 0;
    while (media_event && SUCCEEDED(media_event->GetEvent(&code, &param1, &param2, 0))) {
        media_event->FreeEventParams(code, param1, param2);
        if (code == EC_COMPLETE) Restart();
    }
}

void CBaseVideoTexture::report_from_stream(std::string text) {
    {
        std::lock_guard hold(reports_lock_);
        if (reports_.size() >= kMaxWaitingReports) return;
        reports_.push_back(std::move(text));
    }
    if (event_wnd) PostMessageA(event_wnd, kStreamReportMessage, 0, reinterpret_cast<LPARAM>(this));
}

void CBaseVideoTexture::show_stream_reports() {
    std::vector<std::string> waiting;
    {
        std::lock_guard hold(reports_lock_);
        waiting.swap(reports_);
    }
    for (const std::string& text : waiting)
        AfxMessageBox(text.c_str(), MB_OK);
}

void CBaseVideoTexture::release_graph() {
    // Stopping is synchronous: once it returns, the streaming thread has ended and writes nothing more.
    if (media_control) media_control->Stop();
    if (renderer) renderer->detach_owner();
    if (media_event) media_event->SetNotifyWindow(0, 0, 0);
    auto drop = [](auto*& p) {
        if (p) p->Release();
        p = nullptr;
    };
    drop(media_control);
    drop(media_event);
    drop(media_position);
    drop(graph);
    drop(renderer);
    play_state = 2;
    std::lock_guard hold(reports_lock_);
    reports_.clear();
}

HRESULT CBaseVideoTexture::Load(IDirect3DDevice8* dev, const char* file_name) {
    show_stream_reports();
    release_graph();
    // A Free before this Load took the event window along: without one the video would not loop.
    if (!event_wnd) event_wnd = create_event_wnd();
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&graph)))) {
        graph = nullptr;
        return E_FAIL;
    }
    device = dev;
    HRESULT hr = S_OK;
    auto* made = new CTextureRenderer(this, nullptr, &hr);
    made->AddRef();
    if (FAILED(hr)) {
        made->Release();
        AfxMessageBox(hr_text("Could not create texture renderer object!  hr=0x%x", hr), MB_OK);
        release_graph();
        return E_FAIL;
    }
    hr = graph->AddFilter(made, u"VideoTextureRenderer");
    if (FAILED(hr)) {
        made->Release();
        AfxMessageBox(hr_text("Could not add renderer filter to graph!  hr=0x%x", hr), MB_OK);
        release_graph();
        return hr;
    }
    renderer = made;

    // A name longer than the platform's path limit converts to nothing, which no source opens.
    WCHAR wide[MAX_PATH] = {};
    if (!file_name || MultiByteToWideChar(CP_ACP, 0, file_name, -1, wide, MAX_PATH) == 0) wide[0] = 0;
    IBaseFilter* source = nullptr;
    IPin* in = nullptr;
    IPin* out = nullptr;
    const char* failure = nullptr;
    hr = graph->AddSourceFilter(wide, u"SOURCE", &source);
    if (FAILED(hr)) failure = "Could not create source filter to graph!  hr=0x%x";
    if (!failure && FAILED(hr = renderer->FindPin(u"In", &in)))
        failure = "Could not find input pin!  hr=0x%x";
    if (!failure && FAILED(hr = source->FindPin(u"Output", &out)))
        failure = "Could not find output pin!  hr=0x%x";
    if (!failure && FAILED(hr = graph->Connect(out, in))) failure = "Could not connect pins!  hr=0x%x";
    if (out) out->Release();
    if (in) in->Release();
    if (source) source->Release();
    if (failure) {
        AfxMessageBox(hr_text(failure, hr), MB_OK);
        release_graph();
        return hr;
    }
    graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&media_control));
    graph->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&media_position));
    graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&media_event));
    if (event_wnd && media_event &&
        FAILED(media_event->SetNotifyWindow(reinterpret_cast<OAHWND>(event_wnd),
                                            static_cast<LONG>(WM_VIDEO_EVENT),
                                            reinterpret_cast<LONG_PTR>(this))))
        AfxMessageBox("err setnotifywindow", MB_OK);
    return S_OK;
}

int CBaseVideoTexture::Free() {
    if (event_wnd) DestroyWindow(event_wnd);
    event_wnd = nullptr;
    release_graph();
    return 1;
}

int CBaseVideoTexture::Play() {
    show_stream_reports();
    if (media_control) {
        play_state = 0;
        media_control->Run();
    }
    return 1;
}

int CBaseVideoTexture::Stop() {
    show_stream_reports();
    if (media_control) {
        media_control->StopWhenReady();
        play_state = 2;
    }
    return 1;
}

int CBaseVideoTexture::GotoTime(double seconds) {
    show_stream_reports();
    if (media_position) {
        media_position->put_CurrentPosition(seconds);
        play_state = 0;
    }
    return 1;
}

int CBaseVideoTexture::Restart() {
    return GotoTime(0.0);
}

IDirect3DTexture8* CBaseVideoTexture::GetTexture() {
    return renderer ? renderer->GetTexture() : nullptr;
}
