#include <qcore/data/vr_item.h>
#include <qcore/geom/box.h>
#include <qcore/geom/octree.h>

#include "core/draw_fixture.h"

#include <algorithm>
#include <cmath>
#include <vector>

using qcore::test::DrawFixture;

namespace {

class Item : public IVisItem {
public:
    static CMyComPtr<Item> create() {
        CMyComPtr<Item> p;
        p.attach(new Item);
        return p;
    }
};

constexpr uint32_t red = 0xFF0000, green = 0x00FF00, white = 0xFFFFFF;

} // namespace

TEST(BoxWire, TemplatesFollowTheCornerNumbering) {
    const auto& cube = qcore::detail::box_wire_template(0);
    ASSERT_EQ(cube.vertices.size(), 8u);
    EXPECT_EQ(cube.indices.size(), 24u);
    EXPECT_EQ(cube.vertices[5].x, 1.0f);
    EXPECT_EQ(cube.vertices[5].y, -1.0f);
    EXPECT_EQ(cube.vertices[5].z, 1.0f);
    // Every edge joins corners that differ in exactly one bit.
    for (size_t i = 0; i < cube.indices.size(); i += 2) {
        const int d = cube.indices[i] ^ cube.indices[i + 1];
        EXPECT_TRUE(d == 1 || d == 2 || d == 4);
    }
    const auto& brackets = qcore::detail::box_wire_template(1);
    ASSERT_EQ(brackets.vertices.size(), 32u);
    ASSERT_EQ(brackets.indices.size(), 48u);
    // Corner 7 and its bracket ends a quarter of each edge along.
    EXPECT_EQ(brackets.vertices[28].x, 1.0f);
    EXPECT_EQ(brackets.vertices[29].x, 0.5f);
    EXPECT_EQ(brackets.vertices[30].y, 0.5f);
    EXPECT_EQ(brackets.vertices[31].z, 0.5f);
    EXPECT_EQ(brackets.indices[42], 28);
    EXPECT_EQ(brackets.indices[47], 31);
}

TEST_F(DrawFixture, BoxWireframeAndCornerBrackets) {
    const CBox box(VEC(10, 10, 0.5f), VEC(50, 50, 0.5f));
    box.Render(&core, 0, nullptr, 0xFFFF0000, false, false, D3DCMP_ALWAYS);
    std::vector<uint32_t> f = frame();
    EXPECT_EQ(f[30 * kSize + 10], red); // middle of the left edge
    EXPECT_EQ(f[30 * kSize + 30], 0u);  // inside
    EXPECT_EQ(ink(f), CRect(10, 10, 51, 51));

    clear();
    const MAT moved = MAT::get_pan_matrix(4, 0, 0);
    box.Render(&core, 1, &moved, 0xFFFF0000, false, false, D3DCMP_ALWAYS);
    f = frame();
    EXPECT_EQ(f[12 * kSize + 14], red); // near a corner
    EXPECT_EQ(f[30 * kSize + 14], 0u);  // the middle of an edge is left out
    EXPECT_EQ(ink(f), CRect(14, 10, 55, 51));

    clear();
    CBox().Render(&core, 0, nullptr, 0xFFFF0000, false, false, D3DCMP_ALWAYS);
    EXPECT_EQ(count(frame(), 0), kSize * kSize);
}

TEST_F(DrawFixture, SelectionBoxesAndOctreeCells) {
    CMyComPtr<Item> item = Item::create();
    item->draw_selection_box(&core, nullptr, 1); // no box yet: nothing
    EXPECT_EQ(count(frame(), 0), kSize * kSize);
    item->set_box(CBox(VEC(10, 10, 0.5f), VEC(40, 40, 0.5f)));
    item->draw_selection_box(&core, nullptr, 1);
    EXPECT_EQ(pixel(11, 10), white);
    clear();
    item->draw_selection_box(&core, nullptr, 0);
    EXPECT_EQ(pixel(11, 10), green);

    clear();
    CRawMesh mesh;
    mesh.vertices = {VEC(8, 8, 0.5f), VEC(56, 8, 0.5f), VEC(8, 56, 0.5f)};
    mesh.faces = {CFace(0, 1, 2)};
    COctree tree;
    tree.build_from_vbib(mesh, 4, 4, 0, 1.0f, nullptr);
    // The root cell is a cube as deep as it is wide: squeeze its depth into the visible range.
    const MAT world = MAT::get_scaling_matrix(1, 1, 0.02f) * MAT::get_pan_matrix(0, 0, 0.49f);
    const DWORD zwrite = rs->get_rs(D3DRS_ZWRITEENABLE), lighting = rs->get_rs(D3DRS_LIGHTING);
    tree.get_root()->Render(&core, world, 0xFFFF0000, true, true);
    const std::vector<uint32_t> f = frame();
    // The face's long edge, away from every cell border.
    EXPECT_TRUE(f[24 * kSize + 40] == green || f[23 * kSize + 40] == green || f[25 * kSize + 40] == green);
    EXPECT_GT(count(f, red), 0);
    EXPECT_EQ(rs->get_rs(D3DRS_ZWRITEENABLE), zwrite);
    EXPECT_EQ(rs->get_rs(D3DRS_LIGHTING), lighting);
}

TEST_F(DrawFixture, BoxOnARotatedWorldDrawsItsTwelveTransformedEdges) {
    // A box turned about a slanted axis, its depth squeezed into the visible range: every edge shows.
    const CBox box(VEC(-12, -8, -10), VEC(12, 8, 10));
    const MAT world = MAT::get_rotation_matrix(VEC(0, 0, 0), VEC(1, 2, 3).get_normalize(), 0.7f) *
                      MAT::get_scaling_matrix(1, 1, 0.01f) * MAT::get_pan_matrix(32, 32, 0.5f);
    box.Render(&core, 0, &world, 0xFFFF0000, false, false, D3DCMP_ALWAYS);
    const std::vector<uint32_t> f = frame();

    struct Edge {
        float ax, ay, bx, by;
    };
    std::vector<Edge> edges;
    for (int i = 0; i < 8; ++i)
        for (int bit = 1; bit < 8; bit <<= 1) {
            if (i & bit) continue;
            const VEC a = box.get_corner(i).get_vertex_transf(world);
            const VEC b = box.get_corner(i | bit).get_vertex_transf(world);
            edges.push_back({a.x, a.y, b.x, b.y});
        }
    ASSERT_EQ(edges.size(), 12u);
    const auto near_ink = [&](float x, float y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int px = static_cast<int>(std::floor(x)) + dx,
                          py = static_cast<int>(std::floor(y)) + dy;
                if (px >= 0 && py >= 0 && px < kSize && py < kSize && f[py * kSize + px] == red) return true;
            }
        return false;
    };
    for (const Edge& e : edges)
        for (float t = 0.1f; t < 0.95f; t += 0.2f)
            EXPECT_TRUE(near_ink(e.ax + (e.bx - e.ax) * t, e.ay + (e.by - e.ay) * t))
                << "edge from " << e.ax << ", " << e.ay << " to " << e.bx << ", " << e.by << " at " << t;
    // And nothing is drawn away from the edges.
    const auto distance_to_edge = [](const Edge& e, float x, float y) {
        const float dx = e.bx - e.ax, dy = e.by - e.ay;
        const float t = std::clamp(((x - e.ax) * dx + (y - e.ay) * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
        return std::hypot(x - (e.ax + t * dx), y - (e.ay + t * dy));
    };
    int drawn = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            if (f[y * kSize + x] == 0) continue;
            ++drawn;
            EXPECT_EQ(f[y * kSize + x], red);
            float nearest = 1e9f;
            for (const Edge& e : edges)
                nearest = std::min(nearest, distance_to_edge(e, float(x), float(y)));
            EXPECT_LT(nearest, 1.0f) << "pixel " << x << ", " << y;
        }
    EXPECT_GT(drawn, 100);
}
