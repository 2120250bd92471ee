#include "viewer.h"

#include <qcore/image/surfacefun.h>
#include <qcore/platform/win32/com_runtime.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace qview {

// Mouse input goes to the view tool, whose answers redraw; keys go to the viewer.
class CViewer::Window : public CRenderWindow {
public:
    explicit Window(CViewer& viewer) : viewer_(viewer) {}
    CMouseTool* get_mt() override { return viewer_.tool_.get(); }
    void apply_repaint(long code) override {
        if (code == ViewTool::kRepaint) viewer_.render_frame();
    }
    void OnKeyDown(UINT key, UINT repeat, UINT flags) override {
        if (viewer_.on_key(key)) viewer_.render_frame();
        CRenderWindow::OnKeyDown(key, repeat, flags);
    }
    // Closing only asks: the window stays until the viewer goes, so the last frame can still be saved.
    void OnClose() override { close_asked = true; }
    bool close_asked = false;

private:
    CViewer& viewer_;
};

struct CViewer::Video {
    size_t material = 0;
    CBaseVideoTexture texture;
};

namespace {

bool headless() {
    return qcore::window_backend() == qcore::WindowBackend::headless;
}

bool key_down(int vk) {
    return (GetKeyState(vk) & 0x8000) != 0;
}

} // namespace

CViewer::CViewer(gCore& core, qscene::CScene& scene) : core_(core), scene_(scene) {}

CViewer::~CViewer() {
    videos_.clear();
    if (com_) CoUninitialize();
    if (wnd_) {
        wnd_->set_view(nullptr);
        if (wnd_->GetSafeHwnd()) wnd_->DestroyWindow();
    }
    tool_.reset();
    font_.reset();
    view_.reset();
    if (core_.dev == device_.get()) core_.dev = nullptr;
    device_.reset();
}

bool CViewer::open(const ViewerOptions& options, std::string& error) {
    options_ = options;
    // The back buffer has room for antialiasing scale 2 from the start.
    const int bb_width = options.width * 2, bb_height = options.height * 2;
    if (headless()) qcore::set_desktop_mode(bb_width, bb_height, D3DFMT_X8R8G8B8);
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "qcore_view";
    RegisterClassA(&wc);
    wnd_ = std::make_unique<Window>(*this);
    if (!wnd_->CreateEx(0, "qcore_view", "qcore-view", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, options.width,
                        options.height, nullptr, nullptr)) {
        error = "could not create the viewer's window";
        return false;
    }
    device_ = std::make_unique<CDevice>(&core_);
    core_.dev = device_.get();
    if (!device_->create_windowed_device(wnd_.get(), D3DFMT_D24S8, bb_width, bb_height)) {
        error = "could not create the graphics device";
        return false;
    }
    view_ = std::make_unique<CSceneView>(scene_);
    view_->init_3d_envment(device_.get(), options.aa);
    wnd_->set_view(view_.get());
    view_->set_wnd(wnd_.get());
    view_->timer = &timer_;
    font_ = std::make_unique<CD3dFont>(&core_);
    if (font_->Init(device_->get_dev(), "SimSun", 16, 0))
        view_->font = font_.get();
    else
        core_.log->add_log(LOG_WARNING, "font", ", the frame rate and names are not shown");
    if (scene_.items.empty())
        tool_ = std::make_unique<ViewTool>(view_.get(), VEC(0, 0, 0));
    else
        show_scene();
    return true;
}

void CViewer::show_scene() {
    if (!view_) return;
    view_->take_scene_view();
    const CBox bounds = scene_.bounds();
    tool_ = std::make_unique<ViewTool>(view_.get(), bounds.is_valid() ? bounds.center() : VEC(0, 0, 0));
    start_videos();
    play_path(options_.play_path);
}

bool CViewer::is_open() const {
    return wnd_ && IsWindow(wnd_->GetSafeHwnd());
}

bool CViewer::close_asked() const {
    return !wnd_ || wnd_->close_asked;
}

HWND CViewer::hwnd() const {
    return wnd_ ? wnd_->GetSafeHwnd() : nullptr;
}

void CViewer::start_videos() {
    videos_.clear();
    for (size_t i = 0; options_.videos && i < scene_.materials.size(); ++i) {
        const std::string& name = scene_.materials[i].video;
        if (name.empty()) continue;
        if (!com_) com_ = SUCCEEDED(CoInitialize(nullptr));
        const std::string path = (std::filesystem::path(scene_.folder) / name).string();
        auto video = std::make_unique<Video>();
        video->material = i;
        if (FAILED(video->texture.Load(device_->get_dev(), path.c_str()))) {
            core_.log->add_log(LOG_WARNING, path.c_str(), ", the video could not be played");
            continue;
        }
        video->texture.Play();
        videos_.push_back(std::move(video));
    }
    view_->material_videos.assign(scene_.materials.size(), nullptr);
}

int CViewer::videos_playing() const {
    return static_cast<int>(videos_.size());
}

void CViewer::update_videos() {
    for (auto& video : videos_) {
        // Without an event window the loop events are picked up here.
        if (!video->texture.event_wnd) video->texture.proc_vid_event();
        view_->material_videos[video->material] = video->texture.GetTexture();
    }
}

void CViewer::render_frame() {
    if (!view_) return;
    if (playing_ && scene_.cam_path.get_key_count() > 1) {
        const int span = std::max(1, options_.path_frames);
        scene_.cam_path.apply_to_camera(static_cast<float>(path_frame_ % span) / static_cast<float>(span),
                                        view_->get_camera());
        ++path_frame_;
    }
    update_videos();
    view_->update_view();
    timer_.record();
    ++frame_;
}

void CViewer::play_path(bool on) {
    if (on && scene_.cam_path.get_key_count() < 2 && !scene_.items.empty()) {
        // A scene without a path of its own is circled from where its camera stands.
        scene_.make_orbit_path(8);
        core_.log->add_log(LOG_INFO, "camera path", ", the scene has none: circling it");
    }
    playing_ = on && scene_.cam_path.get_key_count() > 1;
    path_frame_ = 0;
}

void CViewer::after_reset() {
    view_->update_aera_calculations();
    render_frame();
}

bool CViewer::resize(int width, int height) {
    if (!is_open() || width < 1 || height < 1) return false;
    wnd_->MoveWindow(0, 0, width, height, TRUE);
    if (headless()) qcore::set_desktop_mode(width * 2, height * 2, D3DFMT_X8R8G8B8);
    if (!device_->reset_device()) return false;
    after_reset();
    return true;
}

bool CViewer::set_aa(int scale) {
    if (!is_open() || (scale != 1 && scale != 2)) return false;
    view_->set_aa_scale(scale);
    if (!device_->reset_device()) return false;
    after_reset();
    return true;
}

bool CViewer::save_shot(const char* path) {
    if (!is_open() || !path) return false;
    const D3DVIEWPORT8& r = view_->get_rect();
    CRect client;
    wnd_->GetClientRect(&client);
    const CRect source(0, 0, static_cast<int>(r.Width), static_cast<int>(r.Height));
    return surfacefun::save_render_target_to_file(device_->get_dev(), source,
                                                  CSize(client.Width(), client.Height()), path) != 0;
}

void CViewer::nudge(float right, float up) {
    const CBox b = scene_.bounds();
    const float step = std::max(b.is_valid() ? b.get_radius() * 0.02f : 0.05f, 0.01f);
    CCamera& cam = view_->get_camera();
    view_->move_selected(cam.get_right_dir(true) * (right * step) + cam.get_up_vec(true) * (up * step));
}

bool CViewer::on_key(UINT key) {
    if (!view_) return false;
    const bool ctrl = key_down(VK_CONTROL);
    switch (key) {
    case 'S': {
        const std::string name = options_.shot_prefix + "-" + std::to_string(++shots_) + ".jpg";
        const bool saved = save_shot(name.c_str());
        core_.log->add_log(saved ? LOG_INFO : LOG_ERROR, name.c_str(), saved ? ", saved" : ", not saved");
        return false;
    }
    case 'A':
        return set_aa(view_->get_aa_scale() == 1 ? 2 : 1);
    case 'P':
        play_path(!playing_);
        return true;
    case VK_ESCAPE:
        wnd_->PostMessage(WM_CLOSE);
        return false;
    case 'Z':
        if (!ctrl) return false;
        view_->undo();
        return true;
    case 'Y':
        if (!ctrl) return false;
        view_->redo();
        return true;
    case VK_LEFT:
        nudge(-1, 0);
        return true;
    case VK_RIGHT:
        nudge(1, 0);
        return true;
    case VK_UP:
        nudge(0, 1);
        return true;
    case VK_DOWN:
        nudge(0, -1);
        return true;
    default:
        return false;
    }
}

} // namespace qview
