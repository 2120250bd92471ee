// picking: three boxes in a row; a left click goes to the picking tool, which casts the viewport's pick
// ray, finds the boxes it passes and the nearest triangle it hits, and prints that item's name. Headless,
// the example clicks the middle box and then empty space itself.
#include "example_host.h"

#include <string>
#include <vector>

namespace {

constexpr int kWidth = 320, kHeight = 240;

struct Item {
    std::string name;
    qcore::ComRef<ID3DXMesh> mesh;
    MAT world;
    D3DCOLORVALUE colour;
    CBox box; // in the mesh's own space
};

// Every item's triangles in world space in one raw mesh, each face's attribute naming its item, and the
// octree over them.
struct PickScene {
    std::vector<Item> items;
    CRawMesh triangles;
    COctree tree;

    void build() {
        for (size_t i = 0; i < items.size(); ++i) {
            CRawMesh part;
            part.fill_with_mesh(items[i].mesh.get(), static_cast<int>(i));
            part.transf_vb(items[i].world);
            triangles.append_raw_mesh(part);
        }
        tree.build_from_vbib(triangles, 8, 6, 0, 1, nullptr);
    }

    // The item the ray hits first, or -1.
    int pick(const CRay& ray, std::string& passed) const {
        const CRayForBox r(ray);
        for (const Item& item : items)
            if (item.box.get_transf(item.world).ray_box_test(r)) passed += " \"" + item.name + "\"";
        OCTREE_INT_ITEM hit;
        if (!tree.get_root() || !tree.get_root()->RayTestNearest(r, 0, 1, hit)) return -1;
        return triangles.attributes[hit.face];
    }
};

// Draws the items lit in their colours.
class PickView : public CBaseVport {
public:
    explicit PickView(const PickScene& scene) : scene_(scene) {
        camera.set_view_params(VEC(0, 2.5f, -6), VEC(0, 0, 0), VEC(0, 1, 0));
        camera.set_proj_params(50, 0.5f, 50);
    }

    void update_view() override {
        if (!begin_render()) return;
        camera.apply_transform(this);
        D3DVIEWPORT8 saved{};
        if (set_3d_aera_as_vport(saved)) {
            IDirect3DDevice8* dev = get_dev();
            for (const Item& item : scene_.items) {
                D3DMATERIAL8 mtl{};
                mtl.Diffuse = mtl.Ambient = item.colour;
                dev->SetMaterial(&mtl);
                dev->SetTransform(D3DTS_WORLD, &item.world);
                item.mesh->DrawSubset(0);
            }
            restore_vport(&saved);
        }
        end_render();
    }

private:
    const PickScene& scene_;
};

// The mouse tool: a left click picks; the answer 1 asks the window to redraw.
class PickTool : public CMouseTool {
public:
    PickTool(CBaseVport* view, const PickScene& scene) : CMouseTool("pick", view), scene_(scene) {}

    long v_on_lbutton_down(UINT, CPoint point) override {
        CRay ray;
        ray.from_pt(get_view(), &point);
        std::string passed;
        picked = scene_.pick(ray, passed);
        std::printf("click at %d,%d passes the boxes of:%s\n", static_cast<int>(point.x),
                    static_cast<int>(point.y), passed.empty() ? " none" : passed.c_str());
        if (picked < 0)
            std::printf("picked nothing\n");
        else
            std::printf("picked \"%s\"\n", scene_.items[picked].name.c_str());
        return 1;
    }

    int picked = -1;

private:
    const PickScene& scene_;
};

// The main window hands mouse input to the tool and redraws when it asks.
class PickWindow : public CRenderWindow {
public:
    CMouseTool* tool = nullptr;
    CMouseTool* get_mt() override { return tool; }
    void apply_repaint(long code) override {
        if (code && view) view->update_view();
    }
};

// Presses and releases the left button at a client point of the window.
void click(CWnd& wnd, CPoint point) {
    wnd.ClientToScreen(&point);
    qcore::inject_mouse_button(qcore::MouseButton::left, true, point.x, point.y);
    qcore::inject_mouse_button(qcore::MouseButton::left, false, point.x, point.y);
    peek_and_pump();
}

bool add_box(IDirect3DDevice8* dev, PickScene& scene, const char* name, float x, D3DCOLORVALUE colour) {
    Item item;
    item.name = name;
    if (FAILED(D3DXCreateBox(dev, 1, 1, 1, item.mesh.out(), nullptr))) return false;
    D3DXMatrixTranslation(&item.world, x, 0, 0);
    item.colour = colour;
    item.box = CBox(VEC(0, 0, 0), 0.5f);
    scene.items.push_back(std::move(item));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    example::Options options;
    if (!example::parse_options(argc, argv, options, "picking [--frames N] [--sdl]") ||
        !example::start_window_system(options))
        return 2;
    example::PrintLog log;
    gCore core;
    core.log = &log;

    PickWindow wnd;
    CDevice device(&core);
    if (!example::open_window_and_device(core, device, wnd, "picking", kWidth, kHeight)) return 1;
    IDirect3DDevice8* dev = device.get_dev();
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 1};
    light.Direction = {0.3f, -0.5f, 0.8f};
    dev->SetLight(0, &light);
    dev->LightEnable(0, TRUE);
    device.get_rs_man()->set_rs(D3DRS_AMBIENT, D3DCOLOR_XRGB(60, 60, 60));

    int status = 1;
    {
        PickScene scene;
        if (!add_box(dev, scene, "left box", -1.6f, {0.9f, 0.2f, 0.2f, 1}) ||
            !add_box(dev, scene, "middle box", 0, {0.2f, 0.9f, 0.2f, 1}) ||
            !add_box(dev, scene, "right box", 1.6f, {0.2f, 0.3f, 0.9f, 1}))
            return 1;
        scene.build();
        PickView view(scene);
        view.init_3d_envment(&device, 1);
        wnd.set_view(&view);
        view.set_wnd(&wnd);
        PickTool tool(&view, scene);
        wnd.tool = &tool;

        for (int frame = 0; frame < options.frames; ++frame) {
            view.update_view();
            if (!peek_and_pump()) break;
        }
        // Where the middle box's centre shows in the window, and a point above all boxes.
        VEC screen;
        view.proj_3dpos_to_screen(VEC(0, 0, 0), screen);
        click(wnd, CPoint(static_cast<int>(screen.x), static_cast<int>(screen.y)));
        const bool middle = tool.picked == 1;
        click(wnd, CPoint(kWidth / 2, 5));
        status = middle && tool.picked < 0 ? 0 : 1;

        wnd.tool = nullptr;
        wnd.set_view(nullptr);
    }
    core.dev = nullptr;
    core.log = &core.default_log;
    return status;
}
