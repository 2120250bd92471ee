#include <qcore/geom/octree.h>
#include <qcore/geom/ray.h>
#include <qcore/view/base_vport.h>

#include "view/view_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using qcore::test::ViewFixture;

struct ColourVertex {
    float x, y, z;
    D3DCOLOR c;
};

constexpr D3DCOLOR kColours[3] = {0xffff0000, 0xff00ff00, 0xff0000ff};

// Three overlapping quads at different depths and slants; each face's attribute names its quad.
CRawMesh overlapping_quads() {
    CRawMesh m;
    const auto quad = [&m](const VEC& a, const VEC& b, const VEC& c, const VEC& d, BYTE object) {
        const DWORD base = static_cast<DWORD>(m.vertices.size());
        m.vertices.insert(m.vertices.end(), {a, b, c, d});
        m.faces.emplace_back(base, base + 1, base + 2);
        m.faces.emplace_back(base, base + 2, base + 3);
        m.attributes.insert(m.attributes.end(), {object, object});
    };
    quad(VEC(-60, -40, 40), VEC(20, -40, 40), VEC(20, 40, 40), VEC(-60, 40, 40), 0);
    quad(VEC(-20, -50, -10), VEC(50, -50, 30), VEC(50, 10, 30), VEC(-20, 10, -10), 1);
    quad(VEC(-10, 0, 0), VEC(40, 0, 0), VEC(40, 30, 60), VEC(-10, 30, 60), 2);
    return m;
}

// A viewport that draws its scene through its camera inside its 3D area, as host views do.
class MeshView : public CBaseVport {
public:
    const CRawMesh* mesh = nullptr;

    void update_view() override {
        if (!begin_render()) return;
        camera.apply_transform(this);
        D3DVIEWPORT8 saved{};
        if (set_3d_aera_as_vport(saved)) {
            draw(get_dev());
            restore_vport(&saved);
        }
        end_render();
    }

private:
    void draw(IDirect3DDevice8* dev) const {
        std::vector<ColourVertex> v;
        for (size_t i = 0; i < mesh->faces.size(); ++i)
            for (int k = 0; k < 3; ++k) {
                const VEC& p = mesh->vertices[mesh->faces[i][k]];
                v.push_back({p.x, p.y, p.z, kColours[mesh->attributes[i]]});
            }
        dev->SetRenderState(D3DRS_LIGHTING, FALSE);
        dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        dev->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        dev->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        dev->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
        dev->SetTexture(0, nullptr);
        dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(v.size() / 3), v.data(),
                             sizeof(ColourVertex));
    }
};

class PickRay : public ViewFixture {
protected:
    MeshView* make_mesh_view(int width, int height, int aa) {
        windows.push_back(qcore::test::make_render_window(width, height));
        views.push_back(std::make_unique<MeshView>());
        auto* v = static_cast<MeshView*>(views.back().get());
        v->init_3d_envment(device.get(), aa);
        windows.back()->set_view(v);
        v->set_wnd(windows.back().get());
        return v;
    }
};

// The colour of the quad the pick ray through each client point meets first must be the colour drawn at
// that point. Points near an edge (a neighbour of another colour) are left out.
void check_rays_meet_pixels(CBaseVport* v, const CRawMesh& mesh, int min_checked) {
    COctree tree;
    CRawMesh copy = mesh;
    tree.build_from_vbib(copy, 1, 6, 0, 1.0f, nullptr);
    const qcore::WindowImage img = qcore::capture_window(v->get_wnd()->GetSafeHwnd());
    const CRect area = v->get_3d_aera();
    int checked = 0, per_colour[4] = {};
    for (int y = 1; y + 1 < img.height; y += 3)
        for (int x = 1; x + 1 < img.width; x += 3) {
            const uint32_t c = img.at(x, y) & 0xffffff;
            bool uniform = true;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    uniform = uniform && (img.at(x + dx, y + dy) & 0xffffff) == c;
            if (!uniform || !area.PtInRect(v->client_to_bbuf(CPoint(x, y)))) continue;
            const tagPOINT pt{x, y};
            CRay ray;
            ray.from_pt(v, &pt);
            OCTREE_INT_ITEM hit;
            const bool found = tree.get_root()->RayTestNearest(CRayForBox(ray), 0, 3.4e38f, hit);
            const uint32_t expected = found ? kColours[mesh.attributes[hit.face]] & 0xffffff : 0x808080u;
            ASSERT_EQ(c, expected) << "at " << x << ", " << y;
            ++checked;
            ++per_colour[found ? mesh.attributes[hit.face] : 3];
        }
    EXPECT_GT(checked, min_checked);
    for (int count : per_colour)
        EXPECT_GT(count, 5); // every quad and the background were seen somewhere
}

} // namespace

TEST_F(PickRay, RaysThroughClientPointsMeetWhatIsDrawnThere) {
    const CRawMesh mesh = overlapping_quads();
    struct Case {
        int aa;
        FRect area; // the 3D area inside the work area
    };
    for (const Case& c : {Case{1, FRect(0, 0, 1, 1)}, Case{2, FRect(0.1f, 0.2f, 0.9f, 0.95f)}}) {
        SCOPED_TRACE(c.aa);
        ASSERT_TRUE(make_device(640, 480));
        MeshView* v = make_mesh_view(320, 240, c.aa);
        CAeraCfg& cfg = v->get_aera_cfg();
        cfg.set_all_same(0);
        cfg.set_auto_stretch_workaera(0);
        cfg.set_3d_frect(c.area);
        v->update_aera_calculations();
        v->get_camera().set_view_params(VEC(-70, 60, -160), VEC(5, -5, 20), VEC(0, 1, 0));
        v->mesh = &mesh;
        v->update_view();
        check_rays_meet_pixels(v, mesh, 1000);
        views.clear();
        windows.clear();
        device.reset();
    }
}
