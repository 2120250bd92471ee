// spinning-mesh: a lit torus turning in a window, drawn through a viewport and its camera. Halfway through,
// the window grows and the device is reset for the new desktop size.
#include "example_host.h"

namespace {

constexpr int kWidth = 320, kHeight = 240;

// The light and the material are device states, which a reset puts back at their defaults: as a local
// object the lighting sets them again after every reset.
class Lighting : public CLocalObj {
public:
    explicit Lighting(gCore* core) : CLocalObj(core) { apply(); }
    void v_on_delete_local_objects() override {}
    void v_on_restore_local_objects() override { apply(); }

private:
    void apply() {
        IDirect3DDevice8* dev = core->dev->get_dev();
        D3DLIGHT8 light{};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {1.0f, 0.95f, 0.9f, 1.0f};
        light.Direction = {-0.4f, -0.6f, 0.7f};
        dev->SetLight(0, &light);
        dev->LightEnable(0, TRUE);
        D3DMATERIAL8 mtl{};
        mtl.Diffuse = {0.9f, 0.5f, 0.2f, 1.0f};
        mtl.Ambient = {0.9f, 0.5f, 0.2f, 1.0f};
        dev->SetMaterial(&mtl);
        CRsMan* rs = core->dev->get_rs_man();
        rs->set_rs(D3DRS_LIGHTING, TRUE);
        rs->set_rs(D3DRS_AMBIENT, D3DCOLOR_XRGB(40, 40, 50));
        rs->set_rs(D3DRS_ZENABLE, D3DZB_TRUE);
    }
};

// The viewport draws the mesh under a turning world matrix through its camera.
class SpinView : public CBaseVport {
public:
    explicit SpinView(ID3DXMesh* mesh) : mesh_(mesh) {
        camera.set_view_params(VEC(0, 1.5f, -4), VEC(0, 0, 0), VEC(0, 1, 0));
        camera.set_proj_params(60, 0.1f, 50);
    }

    void update_view() override {
        if (!begin_render()) return;
        camera.apply_transform(this);
        D3DVIEWPORT8 saved{};
        if (set_3d_aera_as_vport(saved)) {
            D3DXMATRIX world;
            D3DXMatrixRotationYawPitchRoll(&world, angle, 0.6f, 0);
            get_dev()->SetTransform(D3DTS_WORLD, &world);
            mesh_->DrawSubset(0);
            restore_vport(&saved);
        }
        end_render();
    }

    float angle = 0;

private:
    ID3DXMesh* mesh_;
};

// Copies the back buffer and writes it as a BMP file.
bool save_frame(IDirect3DDevice8* dev, const char* path) {
    qcore::ComRef<IDirect3DSurface8> back, copy;
    if (FAILED(dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.out()))) return false;
    D3DSURFACE_DESC desc;
    back->GetDesc(&desc);
    if (FAILED(dev->CreateImageSurface(desc.Width, desc.Height, desc.Format, copy.out()))) return false;
    if (FAILED(dev->CopyRects(back.get(), nullptr, 0, copy.get(), nullptr))) return false;
    return SUCCEEDED(D3DXSaveSurfaceToFileA(path, D3DXIFF_BMP, copy.get(), nullptr, nullptr));
}

// The share of the window's pixels that show neither the clear colour nor black.
double lit_share(HWND hwnd) {
    const qcore::WindowImage image = qcore::capture_window(hwnd);
    if (image.pixels.empty()) return 0;
    size_t lit = 0;
    for (uint32_t p : image.pixels)
        lit += (p & 0xFFFFFF) != 0x808080 && (p & 0xFFFFFF) != 0;
    return static_cast<double>(lit) / static_cast<double>(image.pixels.size());
}

} // namespace

int main(int argc, char** argv) {
    example::Options options;
    if (!example::parse_options(argc, argv, options,
                                "spinning-mesh [--frames N] [--save FILE.bmp] [--sdl]") ||
        !example::start_window_system(options))
        return 2;
    example::PrintLog log; // outlives the core, which may still log while it goes
    gCore core;
    core.log = &log;

    CRenderWindow wnd;
    CDevice device(&core);
    if (!example::open_window_and_device(core, device, wnd, "spinning mesh", kWidth, kHeight)) return 1;

    int status = 0;
    {
        qcore::ComRef<ID3DXMesh> mesh;
        if (FAILED(D3DXCreateTorus(device.get_dev(), 0.4f, 1.0f, 24, 48, mesh.out(), nullptr))) return 1;
        Lighting lighting(&core);
        SpinView view(mesh.get());
        view.init_3d_envment(&device, 1);
        wnd.set_view(&view);
        view.set_wnd(&wnd);

        for (int frame = 0; frame < options.frames; ++frame) {
            if (frame == options.frames / 2) {
                // A bigger window needs a bigger back buffer: the reset takes the desktop's size.
                wnd.MoveWindow(0, 0, kWidth * 3 / 2, kHeight * 3 / 2, TRUE);
                if (qcore::window_backend() == qcore::WindowBackend::headless)
                    qcore::set_desktop_mode(kWidth * 3 / 2, kHeight * 3 / 2, D3DFMT_X8R8G8B8);
                if (!device.reset_device()) status = 1;
                view.update_aera_calculations();
            }
            view.angle = static_cast<float>(frame) * 0.1f;
            view.update_view();
            if (!peek_and_pump()) break;
        }
        std::printf("rendered %d frames at %dx%d, %.0f%% of the window lit\n", options.frames,
                    device.get_bbuf_width(), device.get_bbuf_height(), lit_share(wnd.GetSafeHwnd()) * 100);
        if (options.save && !save_frame(device.get_dev(), options.save)) status = 1;
        if (options.save && status == 0) std::printf("saved the last frame to %s\n", options.save);
        wnd.set_view(nullptr);
    }
    core.dev = nullptr;
    core.log = &core.default_log;
    return status;
}
