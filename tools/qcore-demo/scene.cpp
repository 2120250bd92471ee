#include "scene.h"

#include "orbit_tool.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <utility>

namespace {

template <class T> using Ref = qcore::ComRef<T>;

struct OverlayVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
};
constexpr DWORD kOverlayFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

// A dynamic default-pool vertex buffer for the frame's corner badge: such buffers do not survive a reset,
// so the badge is a local object that lets go of it before and rebuilds it after.
class Overlay : public CLocalObj {
public:
    explicit Overlay(gCore* core) : CLocalObj(core) { create(); }
    void v_on_delete_local_objects() override {
        core->log->add_log(LOG_INFO, "overlay", ", releasing its default-pool buffer");
        vb_.reset();
    }
    void v_on_restore_local_objects() override {
        create();
        core->log->add_log(LOG_INFO, "overlay", vb_ ? ", buffer rebuilt" : ", buffer could not be rebuilt");
    }

    void draw(IDirect3DDevice8* dev, int frame) {
        if (!vb_) return;
        BYTE* data = nullptr;
        if (FAILED(vb_->Lock(0, 0, &data, D3DLOCK_DISCARD))) return;
        const float x = 12, y = 12, s = 24 + 8 * std::sin(frame * 0.2f);
        const D3DCOLOR c = D3DCOLOR_ARGB(255, 255, 200, 40);
        const OverlayVertex v[4] = {
            {x, y, 0, 1, c}, {x + s, y, 0, 1, c}, {x, y + s, 0, 1, c}, {x + s, y + s, 0, 1, c}};
        std::memcpy(data, v, sizeof(v));
        vb_->Unlock();
        CRsMan* rs = core->dev->get_rs_man();
        const int handle = rs->capture_rs();
        const int stage_handle = rs->capture_tss();
        rs->set_rs(D3DRS_LIGHTING, FALSE);
        rs->set_rs(D3DRS_ZENABLE, FALSE);
        rs->tss_color(0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
        dev->SetTexture(0, nullptr);
        dev->SetVertexShader(kOverlayFvf);
        dev->SetStreamSource(0, vb_.get(), sizeof(OverlayVertex));
        dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
        rs->restore_tss(stage_handle);
        rs->restore_rs(handle);
    }

private:
    void create() {
        IDirect3DDevice8* dev = core->dev ? core->dev->get_dev() : nullptr;
        if (!dev) return;
        CheckResult(dev->CreateVertexBuffer(4 * sizeof(OverlayVertex), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                            kOverlayFvf, D3DPOOL_DEFAULT, vb_.out()),
                    "CreateVertexBuffer failed");
    }

    Ref<IDirect3DVertexBuffer8> vb_;
};

struct TexVertex {
    D3DXVECTOR3 pos;
    D3DXVECTOR3 normal;
    float u, v;
};

// The torus with texture coordinates wrapped around it.
bool make_torus(IDirect3DDevice8* dev, Ref<ID3DXMesh>& mesh) {
    Ref<ID3DXMesh> plain;
    if (FAILED(D3DXCreateTorus(dev, 0.45f, 1.0f, 48, 96, plain.out(), nullptr))) return false;
    if (FAILED(
            plain->CloneMeshFVF(D3DXMESH_MANAGED, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, dev, mesh.out())))
        return false;
    BYTE* data = nullptr;
    if (FAILED(mesh->LockVertexBuffer(0, &data))) return false;
    auto* v = reinterpret_cast<TexVertex*>(data);
    for (DWORD i = 0; i < mesh->GetNumVertices(); ++i) {
        // The torus lies in the xy plane around the z axis.
        v[i].u = 4 * (std::atan2(v[i].pos.y, v[i].pos.x) / 6.2831853f + 0.5f);
        const float ring = std::sqrt(v[i].pos.x * v[i].pos.x + v[i].pos.y * v[i].pos.y) - 1.0f;
        v[i].v = std::atan2(v[i].pos.z, ring) / 6.2831853f + 0.5f;
    }
    mesh->UnlockVertexBuffer();
    return true;
}

// A checkerboard with a full mip chain.
bool make_texture(IDirect3DDevice8* dev, Ref<IDirect3DTexture8>& tex) {
    if (FAILED(D3DXCreateTexture(dev, 256, 256, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, tex.out())))
        return false;
    for (DWORD level = 0; level < tex->GetLevelCount(); ++level) {
        D3DSURFACE_DESC desc;
        D3DLOCKED_RECT lr;
        tex->GetLevelDesc(level, &desc);
        if (FAILED(tex->LockRect(level, &lr, nullptr, 0))) return false;
        const UINT cell = desc.Width >= 8 ? desc.Width / 8 : 1;
        for (UINT y = 0; y < desc.Height; ++y) {
            auto* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch);
            for (UINT x = 0; x < desc.Width; ++x)
                row[x] =
                    ((x / cell + y / cell) & 1) ? D3DCOLOR_XRGB(230, 230, 240) : D3DCOLOR_XRGB(40, 90, 200);
        }
        tex->UnlockRect(level);
    }
    return true;
}
void setup_states(CDevice& device) {
    IDirect3DDevice8* dev = device.get_dev();
    CRsMan* rs = device.get_rs_man();
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 0.95f, 0.9f, 1.0f};
    light.Specular = {1, 1, 1, 1};
    light.Direction = {-0.4f, -0.6f, 0.7f};
    dev->SetLight(0, &light);
    dev->LightEnable(0, TRUE);
    D3DMATERIAL8 mtl{};
    mtl.Diffuse = {1, 1, 1, 1};
    mtl.Ambient = {1, 1, 1, 1};
    mtl.Specular = {0.6f, 0.6f, 0.6f, 1};
    mtl.Power = 24;
    dev->SetMaterial(&mtl);
    rs->set_rs(D3DRS_LIGHTING, TRUE);
    rs->set_rs(D3DRS_AMBIENT, D3DCOLOR_XRGB(50, 50, 60));
    rs->set_rs(D3DRS_SPECULARENABLE, TRUE);
    rs->set_rs(D3DRS_ZENABLE, device.have_zbuf() ? D3DZB_TRUE : D3DZB_FALSE);
    rs->tss_color(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    rs->mipmap(0, TEX_FILTER_LINEAR_MIPMAP);
    rs->set_cur_state_as_standard();
}

constexpr D3DCOLOR kBarColour = 0xff283040;

// The demo's view: a 4:3 work area (bars beside or above it when the window's ratio differs), the spinning
// torus drawn through the camera inside it, and the badge in the corner.
// A closed flight around the torus: four keys at the compass points, a little above it.
void make_flight(const CCamera& start, CCamPath& path) {
    CCamera cam = start;
    for (int k = 0; k < 4; ++k) {
        const float a = static_cast<float>(k) * 1.5707963f;
        cam.set_view_params(
            VEC(3.6f * std::sin(a), 1.2f + 0.4f * static_cast<float>(k % 2), -3.6f * std::cos(a)),
            VEC(0, 0, 0), VEC(0, 1, 0));
        path.add_key(cam);
    }
    path.make_closed(1);
}

struct VideoVertex {
    float x, y, z, rhw;
    float u, v;
};

class DemoView : public CBaseVport {
public:
    DemoView(ID3DXMesh* mesh, IDirect3DTexture8* tex, Overlay& overlay)
        : mesh_(mesh), tex_(tex), overlay_(overlay) {
        type_name = "DemoView";
        CAeraCfg& cfg = get_aera_cfg();
        cfg.set_all_same(0);
        cfg.set_auto_stretch_workaera(0);
        cfg.get_aspect_of_workaera_ref() = CSize(4, 3);
        cfg.set_color_outof_workaera(kBarColour);
        camera.set_view_params(VEC(0, 1.6f, -3.6f), VEC(0, 0, 0), VEC(0, 1, 0));
        camera.set_proj_params(65, 0.1f, 50);
    }

    void update_view() override {
        if (!begin_render()) return;
        IDirect3DDevice8* dev = get_dev();
        camera.apply_transform(this);
        D3DVIEWPORT8 saved{};
        if (set_3d_aera_as_vport(saved)) {
            D3DXMATRIX spin, tilt, world;
            D3DXMatrixRotationY(&spin, frame * 0.05f);
            D3DXMatrixRotationX(&tilt, 0.6f + 0.3f * std::sin(frame * 0.03f));
            D3DXMatrixMultiply(&world, &spin, &tilt);
            dev->SetTransform(D3DTS_WORLD, &world);
            dev->SetTexture(0, tex_);
            mesh_->DrawSubset(0);
            restore_vport(&saved);
        }
        overlay_.draw(dev, frame);
        draw_video(dev);
        draw_text();
        end_render();
    }

    // Builds the flight from the camera's start and follows it from now on.
    void set_flight(CCamPath& flight) {
        make_flight(camera, flight);
        path = &flight;
    }

    // Moves the camera along the path before the frame when a flight is set.
    void fly(float t) {
        if (path && path->get_key_count() > 1) path->apply_to_camera(t, camera);
    }

    int frame = 0;
    CD3dFont* font = nullptr;
    const CTimer* timer = nullptr;
    qcore::LoopingVideo* video = nullptr;
    const CCamPath* path = nullptr;

private:
    // The frame rate and a line of Chinese text with the bitmap font, in back-buffer pixels.
    void draw_text() {
        if (!font) return;
        const float scale = static_cast<float>(get_aa_scale());
        CString fps;
        fps.Format("%.1f fps", timer ? timer->get_average_info(0) : 0.0);
        font->RenderTextScaled(8 * scale, 40 * scale, 0.1f, scale, scale, 0xFFFFFF00, fps, 0);
        font->RenderTextScaled(8 * scale, 60 * scale, 0.1f, scale, scale, 0xFFFFFFFF, "中文显示测试", 0);
    }

    // The looping video on a panel in the lower right corner of the work area.
    void draw_video(IDirect3DDevice8* dev) {
        IDirect3DTexture8* t = video ? video->texture() : nullptr;
        if (!t) return;
        // Inside the work area, so the bars beside it stay as they are.
        const CRect& r = get_work_aera();
        const float s = static_cast<float>(std::min(r.Width(), r.Height())) * 0.25f;
        const float x = static_cast<float>(r.right) - s - 8, y = static_cast<float>(r.bottom) - s - 8;
        const VideoVertex v[4] = {
            {x, y, 0, 1, 0, 0}, {x + s, y, 0, 1, 1, 0}, {x, y + s, 0, 1, 0, 1}, {x + s, y + s, 0, 1, 1, 1}};
        CRsMan* rs = get_device()->get_rs_man();
        const int handle = rs->capture_rs();
        const int stage_handle = rs->capture_tss();
        rs->set_rs(D3DRS_LIGHTING, FALSE);
        rs->set_rs(D3DRS_ZENABLE, FALSE);
        rs->tss_color(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_CURRENT);
        dev->SetTexture(0, t);
        dev->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_TEX1);
        dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(VideoVertex));
        dev->SetTexture(0, nullptr);
        rs->restore_tss(stage_handle);
        rs->restore_rs(handle);
    }

    ID3DXMesh* mesh_;
    IDirect3DTexture8* tex_;
    Overlay& overlay_;
};

// The demo's window: mouse input goes to the orbit tool, whose answers redraw the view; the A key switches
// antialiasing between scales 1 and 2.
class DemoWindow : public CRenderWindow {
public:
    OrbitTool* tool = nullptr;
    int repaints = 0;

    CMouseTool* get_mt() override { return tool; }
    void apply_repaint(long code) override {
        if (code != OrbitTool::kRepaint || !view) return;
        ++repaints;
        view->update_view();
    }
    void OnKeyDown(UINT key, UINT repeat, UINT flags) override {
        if (key == 'A' && view) {
            view->set_aa_scale(view->get_aa_scale() == 1 ? 2 : 1);
            view->update_aera_calculations();
            view->update_view();
        }
        CRenderWindow::OnKeyDown(key, repeat, flags);
    }
};

// After a reset every state is back at its default: the scene's states go on again.
void after_reset(CDevice& device, CBaseVport& view) {
    setup_states(device);
    view.update_aera_calculations();
}

bool save_frame(CDevice& device, const char* path) {
    IDirect3DDevice8* dev = device.get_dev();
    Ref<IDirect3DSurface8> back, copy;
    if (FAILED(dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.out()))) return false;
    D3DSURFACE_DESC desc;
    back->GetDesc(&desc);
    if (FAILED(dev->CreateImageSurface(desc.Width, desc.Height, desc.Format, copy.out()))) return false;
    if (FAILED(dev->CopyRects(back.get(), nullptr, 0, copy.get(), nullptr))) return false;
    return SUCCEEDED(D3DXSaveSurfaceToFileA(path, D3DXIFF_BMP, copy.get(), nullptr, nullptr));
}

// How much of the window shows the scene (neither the bars nor the 3D area's background), and how much
// shows the bars.
struct Coverage {
    double scene = 0;
    double bars = 0;
};

Coverage coverage(HWND hwnd) {
    const qcore::WindowImage image = qcore::capture_window(hwnd);
    Coverage c;
    if (image.pixels.empty()) return c;
    size_t lit = 0, bar = 0;
    for (uint32_t p : image.pixels) {
        const uint32_t rgb = p & 0xFFFFFF;
        if (rgb == (kBarColour & 0xFFFFFF))
            ++bar;
        else if (rgb != 0x808080)
            ++lit;
    }
    c.scene = static_cast<double>(lit) / static_cast<double>(image.pixels.size());
    c.bars = static_cast<double>(bar) / static_cast<double>(image.pixels.size());
    return c;
}

void log_areas(gCore& core, const CBaseVport& view) {
    const CRect& work = view.get_work_aera();
    CString text;
    text.Format("%dx%d at %d,%d of %ux%u (scale %d)", work.Width(), work.Height(), work.left, work.top,
                view.get_rect().Width, view.get_rect().Height, view.get_aa_scale());
    core.log->add_log(LOG_INFO, "work area ", text);
}

} // namespace

int run_scene(gCore& core, const SceneOptions& options) {
    // The back buffer has room for antialiasing scale 2 from the start, so the scale may change at any time.
    const int bb_width = options.width * 2, bb_height = options.height * 2;
    const bool headless = qcore::window_backend() == qcore::WindowBackend::headless;
    if (headless) qcore::set_desktop_mode(bb_width, bb_height, D3DFMT_X8R8G8B8);
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "qcore_demo";
    RegisterClassA(&wc);
    DemoWindow wnd;
    if (!wnd.CreateEx(0, "qcore_demo", "qcore demo", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, options.width,
                      options.height, nullptr, nullptr)) {
        std::fprintf(stderr, "could not create the demo window\n");
        return 1;
    }

    CDevice device(&core);
    core.dev = &device;
    int failures = 0;
    {
        CLogTab tab(&core, "device");
        if (!device.create_windowed_device(&wnd, D3DFMT_D24S8, bb_width, bb_height)) {
            core.dev = nullptr;
            return 1;
        }
        core.log->add_log(LOG_INFO, "created: ", device.get_device_type(),
                          CString(", ") + device.get_vp_mode());
        core.log->add_log(LOG_INFO, "adapter: ", GetVideoCardType(device.get_d3d()));
        core.log->add_log(LOG_INFO, "processor: ", GetCpuType());
    }

    Ref<ID3DXMesh> mesh;
    Ref<IDirect3DTexture8> tex;
    if (!make_torus(device.get_dev(), mesh) || !make_texture(device.get_dev(), tex)) {
        core.log->add_log(LOG_ERROR, "scene", ", could not build the torus or its texture");
        core.dev = nullptr;
        return 1;
    }
    Coverage covered;
    {
        Overlay overlay(&core);
        setup_states(device);
        DemoView view(mesh.get(), tex.get(), overlay);
        view.init_3d_envment(&device, options.aa);
        wnd.set_view(&view);
        view.set_wnd(&wnd);
        OrbitTool tool(&view, VEC(0, 0, 0));
        wnd.tool = &tool;
        log_areas(core, view);

        CTimer timer;
        CD3dFont font(&core);
        if (font.Init(device.get_dev(), "SimSun", 16, 0)) view.font = &font;
        view.timer = &timer;
        CCamPath path;
        if (options.fly) {
            view.set_flight(path);
        }
        // The video's clip is written into a folder of the demo's own and removed with it.
        std::error_code ec;
        const std::filesystem::path clip_dir =
            std::filesystem::temp_directory_path(ec) / ("qcore-demo-" + std::to_string(::getpid()));
        std::filesystem::create_directories(clip_dir, ec);
        qcore::LoopingVideo video;
        if (options.video && !ec && video.start(device.get_dev(), clip_dir.string().c_str(), 128, 128, 50))
            view.video = &video;
        else if (options.video)
            core.log->add_log(LOG_WARNING, "video", ", the looping clip could not be started");
        for (int frame = 0; frame < options.frames; ++frame) {
            if (frame == options.frames / 3) {
                CLogTab tab(&core, "window resized: reset_device");
                const int w = options.width * 3 / 4, h = options.height * 3 / 4;
                wnd.MoveWindow(0, 0, w, h, TRUE);
                if (headless) qcore::set_desktop_mode(w * 2, h * 2, D3DFMT_X8R8G8B8);
                if (device.reset_device()) {
                    after_reset(device, view);
                    CString size;
                    size.Format("%dx%d", device.get_bbuf_width(), device.get_bbuf_height());
                    core.log->add_log(LOG_INFO, "back buffer now ", size);
                    log_areas(core, view);
                } else {
                    ++failures;
                }
            }
            if (frame == 2 * options.frames / 3) {
                CLogTab tab(&core, "antialiasing: reset_aa(4)");
                if (device.reset_aa(D3DMULTISAMPLE_4_SAMPLES)) {
                    after_reset(device, view);
                    CString type;
                    type.Format("%d", device.get_cur_aa());
                    core.log->add_log(LOG_INFO, "multisample type ", type);
                } else {
                    core.log->add_log(LOG_WARNING, "reset_aa", ", 4 samples not supported here");
                }
            }
            view.frame = frame;
            view.fly(std::fmod(static_cast<float>(frame) / 240.0f, 1.0f));
            view.update_view();
            timer.record();
            if (!peek_and_pump()) break;
        }
        CString summary;
        summary.Format("%d frames, %.2f ms per frame (%.1f fps)", options.frames, timer.get_average_info(1),
                       timer.get_average_info(0));
        core.log->add_log(LOG_INFO, "rendered ", summary);
        // The picture stays and the orbit tool works the camera until the time is up.
        for (DWORD start = GetTickCount(); static_cast<int>(GetTickCount() - start) < options.linger_ms;) {
            if (!peek_and_pump()) break;
            Sleep(10);
        }
        if (wnd.repaints > 0) {
            CString text;
            text.Format("%d", wnd.repaints);
            core.log->add_log(LOG_INFO, "orbit tool redraws: ", text);
        }
        if (options.save_path) {
            const bool saved = save_frame(device, options.save_path);
            core.log->add_log(saved ? LOG_INFO : LOG_ERROR, options.save_path,
                              saved ? ", frame saved" : ", not saved");
            failures += saved ? 0 : 1;
        }
        covered = coverage(wnd.GetSafeHwnd());
        if (view.video) {
            CString shown;
            shown.Format("%d", video.frames_shown());
            core.log->add_log(LOG_INFO, "video frames shown: ", shown);
        }
        video.stop();
        std::filesystem::remove_all(clip_dir, ec);
        wnd.tool = nullptr;
        wnd.set_view(nullptr);
    }
    CString text;
    text.Format("%.1f%% of the window shows the scene, %.1f%% the bars", covered.scene * 100,
                covered.bars * 100);
    core.log->add_log(covered.scene > 0.05 ? LOG_INFO : LOG_ERROR, "presented: ", text);
    if (covered.scene <= 0.05) ++failures;

    mesh.reset();
    tex.reset();
    core.dev = nullptr;
    return failures ? 1 : 0;
}
