#pragma once
// Video files played into textures: a media graph whose last filter, CTextureRenderer, copies every decoded
// frame into a device texture on the streaming thread; the owner hands that texture to whatever draws.
// Reaching the end of the stream starts it again from the beginning, through a hidden event window.
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/dshow/base_classes.h>
#include <qcore/platform/win32/window.h>

#include <mutex>
#include <string>
#include <vector>

class CBaseVideoTexture;

// {61DA4980-0487-11D6-9089-00401537B98F}
inline constexpr CLSID CLSID_TextureRenderer = {
    0x61da4980, 0x0487, 0x11d6, {0x90, 0x89, 0x00, 0x40, 0x15, 0x37, 0xb9, 0x8f}};

// The message the graph posts to the event window, with the video texture as its second parameter.
#define WM_VIDEO_EVENT 34674u

class CTextureRenderer : public CBaseVideoRenderer {
public:
    CTextureRenderer(CBaseVideoTexture* owner, LPUNKNOWN outer, HRESULT* phr);
    ~CTextureRenderer() override;

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT DoRenderSample(IMediaSample* sample) override;

    IDirect3DTexture8* GetTexture() const { return texture; }
    // Releases the textures and forgets the device and the owner.
    void clean_up();
    // Forgets the owner, waiting for a frame being copied: no notification reaches it afterwards.
    void detach_owner();

    IDirect3DTexture8* texture = nullptr;
    IDirect3DDevice8* device = nullptr;
    CBaseVideoTexture* owner = nullptr;
    D3DFORMAT tex_format = D3DFMT_UNKNOWN;
    LONG video_width = 0;
    LONG video_height = 0;
    LONG video_pitch = 0;

private:
    // Held while a frame is copied, while the texture is replaced and while the owner is forgotten.
    std::mutex frame_lock_;
    // Textures replaced by a new media type: a caller may still draw from one it got from GetTexture.
    std::vector<IDirect3DTexture8*> retired_;
};

class CBaseVideoTexture {
public:
    CBaseVideoTexture();
    virtual ~CBaseVideoTexture();
    CBaseVideoTexture(const CBaseVideoTexture&) = delete;
    CBaseVideoTexture& operator=(const CBaseVideoTexture&) = delete;

    // Called on the streaming thread after each new frame has been written into the texture.
    virtual void on_texture_updated() {}

    HRESULT Load(IDirect3DDevice8* device, const char* file_name);
    int Free();
    int Play();
    int Stop();
    int Restart();
    int GotoTime(double seconds);
    IDirect3DTexture8* GetTexture();
    void proc_vid_event();
    HWND create_event_wnd();

    CTextureRenderer* renderer = nullptr;
    IDirect3DDevice8* device = nullptr;
    HWND event_wnd = nullptr;
    int play_state = 2;
    IGraphBuilder* graph = nullptr;
    IMediaControl* media_control = nullptr;
    IMediaPosition* media_position = nullptr;
    IMediaEventEx* media_event = nullptr;

    // A message box from the streaming thread: shown on the object's own thread, through the event window
    // (or at the object's next call without one), so the host's handler never runs on two threads at once.
    void report_from_stream(std::string text);
    // Shows the reports waiting; the object's own thread only.
    void show_stream_reports();

private:
    void release_graph();

    std::mutex reports_lock_;
    std::vector<std::string> reports_;
};

namespace qcore::detail {

// Copies a bottom-up 24-bit BGR frame (`pitch` bytes per source row) into texture rows top-down, as
// A8R8G8B8 (alpha 255) or A1R5G5B5 (alpha bit set). Other formats copy nothing and give false.
bool copy_bgr24_frame(const BYTE* source, LONG pitch, LONG width, LONG height, D3DFORMAT format, BYTE* target,
                      INT target_pitch);

} // namespace qcore::detail
