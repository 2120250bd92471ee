#include <qcore/data/log.h>
#include <qcore/geom/octree.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>

namespace {

// Random small triangles scattered in a 20-unit cube, plus a few large ones crossing many cells.
CRawMesh random_mesh(std::mt19937& rng, int count) {
    std::uniform_real_distribution<float> pos(-10, 10), step(-1.5f, 1.5f);
    CRawMesh m;
    for (int i = 0; i < count; ++i) {
        const VEC a(pos(rng), pos(rng), pos(rng));
        const float scale = i % 50 == 0 ? 8.0f : 1.0f;
        m.vertices.push_back(a);
        m.vertices.push_back(a + VEC(step(rng), step(rng), step(rng)) * scale);
        m.vertices.push_back(a + VEC(step(rng), step(rng), step(rng)) * scale);
        const DWORD b = static_cast<DWORD>(3 * i);
        m.faces.emplace_back(b, b + 1, b + 2);
    }
    m.attributes.assign(m.faces.size(), 0);
    return m;
}

std::set<DWORD> brute_hits(const CRawMesh& m, const CRay& r) {
    std::set<DWORD> out;
    for (size_t i = 0; i < m.faces.size(); ++i) {
        const CFace& f = m.faces[i];
        float u, v, d;
        if (D3DXIntersectTri(&m.vertices[f.a], &m.vertices[f.b], &m.vertices[f.c], &r.origin, &r.dir, &u, &v,
                             &d))
            out.insert(static_cast<DWORD>(i));
    }
    return out;
}

// The tree's hits of the ray, each face once after duplicate removal, against a brute-force loop, and the
// nearest hit against the nearest of them; the number of faces hit.
size_t check_ray(COctree& tree, const CRawMesh& mesh, const CRayForBox& ray) {
    std::vector<OCTREE_INT_ITEM> hits;
    tree.get_root()->RayTest(ray, 0, 3.4e38f, hits);
    std::vector<DWORD> faces, unique;
    for (const OCTREE_INT_ITEM& h : hits)
        faces.push_back(h.face);
    tree.remove_equal_faces(faces, unique);
    const std::set<DWORD> expected = brute_hits(mesh, ray);
    EXPECT_EQ(std::set<DWORD>(unique.begin(), unique.end()), expected);
    EXPECT_EQ(unique.size(), expected.size());
    OCTREE_INT_ITEM nearest;
    const bool found = tree.get_root()->RayTestNearest(ray, 0, 3.4e38f, nearest);
    EXPECT_EQ(found, !hits.empty());
    if (found) {
        EXPECT_EQ(nearest.dist, std::min_element(hits.begin(), hits.end())->dist);
    }
    return expected.size();
}

class RecordingStatus : public CBaseStatus {
public:
    void msg(const char* text, const char*) override { texts.push_back(text); }
    void tick() override { ++ticks; }
    std::vector<std::string> texts;
    int ticks = 0;
};

CRawMesh single_triangle(const VEC& a, const VEC& b, const VEC& c) {
    CRawMesh m;
    m.vertices = {a, b, c};
    m.faces = {CFace(0, 1, 2)};
    return m;
}

} // namespace

TEST(Octree, ThresholdsDepthsAndTheRootCell) {
    std::mt19937 rng(1);
    CRawMesh mesh = random_mesh(rng, 20);
    COctree tree;
    RecordingStatus status;
    tree.build_from_vbib(mesh, 20, 8, 0, 1.0f, &status);
    EXPECT_TRUE(tree.get_root()->is_leaf()); // at most max_faces: root only
    EXPECT_EQ(status.texts, std::vector<std::string>{"Update Collision Data..."});
    EXPECT_GE(status.ticks, 1);

    tree.build_from_vbib(mesh, 1, 0, 0, 1.0f, nullptr); // depth 0 still splits once
    OCTREE_DESC d;
    tree.get_root()->GetDesc(d);
    EXPECT_EQ(d.max_depth, 1);
    EXPECT_GT(d.depth_counts[1], 1);
    EXPECT_EQ(d.node_count, 1 + d.depth_counts[1]);
    EXPECT_GE(d.total_leaf_faces, 20);
    // Each octant holds exactly the faces the out-code test lets into its cell, in face order.
    const CBox& root_box = tree.get_root()->get_box();
    size_t next_child = 0;
    for (int i = 0; i < 8; ++i) {
        const CBox cell = root_box.get_split_box(root_box.center(), i);
        std::vector<DWORD> expected;
        for (DWORD f = 0; f < mesh.faces.size(); ++f) {
            const CFace& t = mesh.faces[f];
            if (cell.triangle_test(mesh.vertices[t.a], mesh.vertices[t.b], mesh.vertices[t.c]))
                expected.push_back(f);
        }
        if (expected.empty()) continue;
        ASSERT_LT(next_child, tree.get_root()->get_children().size());
        EXPECT_EQ(tree.get_root()->get_children()[next_child++]->get_faces(), expected) << "octant " << i;
    }
    EXPECT_EQ(next_child, tree.get_root()->get_children().size());

    // A 10 × 2 × 4 mesh at y scale 0.5: 10 wide in x and z, 5 tall, centred on the mesh.
    CRawMesh slab = single_triangle(VEC(0, 0, 0), VEC(10, 2, 0), VEC(0, 2, 4));
    tree.build_from_vbib(slab, 10, 5, 1, 0.5f, nullptr);
    const CBox& cell = tree.get_root()->get_box();
    EXPECT_FLOAT_EQ(cell.get_x_len(), 10);
    EXPECT_FLOAT_EQ(cell.get_z_len(), 10);
    EXPECT_FLOAT_EQ(cell.get_y_len(), 5);
    EXPECT_EQ(cell.center(), VEC(5, 1, 2));
    // A scale that is not positive counts as 1 instead of dividing by zero.
    for (float bad : {0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN()}) {
        tree.build_from_vbib(slab, 10, 5, 1, bad, nullptr);
        EXPECT_FLOAT_EQ(tree.get_root()->get_box().get_y_len(), 10);
    }

    // Depth is limited to what the statistics can count.
    tree.build_from_vbib(mesh, 0, 45, 0, 1.0f, nullptr);
    tree.get_root()->GetDesc(d);
    EXPECT_LE(d.max_depth, 31);
}

TEST(Octree, RayAndBoxQueriesMatchBruteForce) {
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> pos(-12, 12);
    for (int round = 0; round < 2; ++round) {
        CRawMesh mesh = random_mesh(rng, 3000);
        COctree tree;
        tree.build_from_vbib(mesh, 8, 10, round % 2, 1.0f, nullptr);
        const CBox& root = tree.get_root()->get_box();
        for (int i = 0; i < 200; ++i) {
            VEC o(pos(rng), pos(rng), pos(rng));
            VEC dir = VEC(pos(rng), pos(rng), pos(rng)) - o;
            if (i % 10 == 0) dir = VEC(0, i % 20 == 0 ? 1.0f : -1.0f, 0) * 30; // axis-parallel
            if (i % 10 == 5) {
                // In the first split plane, along it or all but along it (a huge, finite reciprocal).
                o.x = (root.min.x + root.max.x) * 0.5f;
                dir.x = i % 20 == 5 ? 0.0f : 1e-30f;
            }
            SCOPED_TRACE(i);
            check_ray(tree, mesh, CRayForBox(o, dir));
            if (HasFailure()) return;
        }
        for (int i = 0; i < 100; ++i) {
            const VEC c(pos(rng), pos(rng), pos(rng));
            const CBox query(c, 1.5f);
            std::vector<DWORD> found, unique;
            tree.get_root()->find_possible_faces_int_with_box(query, found);
            tree.remove_equal_faces(found, unique);
            const std::set<DWORD> got(unique.begin(), unique.end());
            for (size_t f = 0; f < mesh.faces.size(); ++f) {
                const CFace& t = mesh.faces[f];
                if (tri_box_int(&query, &mesh.vertices[t.a], &mesh.vertices[t.b], &mesh.vertices[t.c])) {
                    ASSERT_TRUE(got.count(static_cast<DWORD>(f))) << "box " << i << " face " << f;
                }
            }
        }
    }
}

TEST(Octree, FaceInTwoLeavesHitsTwiceAndCollapsesToOne) {
    // Eight tiny triangles in the corners force a split; the big one crosses the middle of every cell.
    CRawMesh mesh;
    for (int i = 0; i < 8; ++i) {
        const VEC c((i & 1) ? 9.f : -9.f, (i & 2) ? 9.f : -9.f, (i & 4) ? 9.f : -9.f);
        const DWORD b = static_cast<DWORD>(mesh.vertices.size());
        mesh.vertices.insert(mesh.vertices.end(), {c, c + VEC(0.1f, 0, 0), c + VEC(0, 0.1f, 0)});
        mesh.faces.emplace_back(b, b + 1, b + 2);
    }
    const DWORD b = static_cast<DWORD>(mesh.vertices.size());
    mesh.vertices.insert(mesh.vertices.end(), {VEC(-5, -5, 0), VEC(5, -5, 0), VEC(0, 5, 0)});
    mesh.faces.emplace_back(b, b + 1, b + 2);
    COctree tree;
    tree.build_from_vbib(mesh, 1, 1, 0, 1.0f, nullptr);
    // Straight down the z axis at x = 0 … through the border of two cells, both holding the big face.
    std::vector<OCTREE_INT_ITEM> hits;
    ASSERT_TRUE(tree.get_root()->RayTest(CRayForBox(VEC(0, 0, -20), VEC(0, 0, 40)), 0, 1, hits));
    EXPECT_GE(hits.size(), 2u);
    std::sort(hits.begin(), hits.end());
    std::vector<DWORD> faces, unique;
    for (const auto& h : hits)
        faces.push_back(h.face);
    tree.remove_equal_faces(faces, unique);
    EXPECT_EQ(unique, std::vector<DWORD>{8});
    EXPECT_LT(tree.cal_int_detail(hits[0]).len(), 1e-5f);
    OCTREE_INT_ITEM corner{8, 0, 0, 0};
    EXPECT_EQ(tree.cal_int_detail(corner), VEC(-5, -5, 0));
    corner.face = 99;
    EXPECT_EQ(tree.cal_int_detail(corner), VEC(0, 0, 0));

    std::vector<DWORD> out;
    tree.remove_equal_faces({3, 1, 3, 2, 1, 1000}, out);
    EXPECT_EQ(out, (std::vector<DWORD>{3, 1, 2}));
    out.clear();
    tree.remove_equal_faces({2, 3}, out); // the marks were cleared
    EXPECT_EQ(out, (std::vector<DWORD>{2, 3}));
}

TEST(Octree, ChildrenAreListedLastFirst) {
    // Two far-apart triangles: the root keeps two leaf children (octants 0 and 7).
    CRawMesh mesh;
    mesh.vertices = {VEC(0, 0, 0),    VEC(0.1f, 0, 0),   VEC(0, 0.1f, 0),
                     VEC(10, 10, 10), VEC(9.9f, 10, 10), VEC(10, 9.9f, 10)};
    mesh.faces = {CFace(0, 1, 2), CFace(3, 4, 5)};
    COctree tree;
    tree.build_from_vbib(mesh, 1, 4, 0, 1.0f, nullptr);
    const COctNode* root = tree.get_root();
    ASSERT_EQ(root->get_children().size(), 2u);
    std::vector<const COctNode*> nodes{root};
    root->EnumAllChildren(nodes);
    EXPECT_EQ(nodes, (std::vector<const COctNode*>{root, root->get_children()[1], root->get_children()[0]}));
}

TEST(Octree, HostileMeshesAndRaysStayBounded) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    COctree tree;
    CRawMesh empty;
    tree.build_from_vbib(empty, 4, 8, 0, 1.0f, nullptr);
    ASSERT_TRUE(tree.get_root());
    EXPECT_TRUE(tree.get_root()->get_faces().empty());
    std::vector<OCTREE_INT_ITEM> hits;
    EXPECT_FALSE(tree.get_root()->RayTest(CRayForBox(VEC(0, 0, -1), VEC(0, 0, 1)), 0, 1, hits));

    // Many faces in one point: the cell has no size and stays one leaf instead of copying faces 8^depth
    // times.
    CRawMesh point;
    point.vertices = {VEC(1, 1, 1)};
    point.faces.assign(200000, CFace(0, 0, 0));
    tree.build_from_vbib(point, 4, 30, 0, 1.0f, nullptr);
    OCTREE_DESC d;
    tree.get_root()->GetDesc(d);
    EXPECT_EQ(d.total_leaf_faces, 200000);

    // Large overlapping faces over one another: the reference budget bounds the tree.
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> pos(-10, 10);
    CRawMesh big;
    for (int i = 0; i < 2000; ++i) {
        big.vertices.insert(big.vertices.end(),
                            {VEC(-10, pos(rng), -10), VEC(10, pos(rng), -10), VEC(0, pos(rng), 10)});
        const DWORD b = static_cast<DWORD>(3 * i);
        big.faces.emplace_back(b, b + 1, b + 2);
    }
    tree.build_from_vbib(big, 1, 30, 0, 1.0f, nullptr);
    tree.get_root()->GetDesc(d);
    EXPECT_LE(static_cast<size_t>(d.total_leaf_faces), 2000u * 16 + 4096 + 2000);

    // NaN, infinite and out-of-range vertices; degenerate faces.
    CRawMesh odd;
    odd.vertices = {VEC(0, 0, 0), VEC(1, 0, 0), VEC(0, 1, 0), VEC(nan, 0, 0), VEC(inf, 1, 1), VEC(1, 1, 1)};
    odd.faces = {CFace(0, 1, 2), CFace(3, 1, 2), CFace(0, 4, 2), CFace(0, 0, 5), CFace(0, 1, 77)};
    for (int i = 0; i < 40; ++i)
        odd.faces.push_back(CFace(0, 1, 2));
    tree.build_from_vbib(odd, 1, 10, 1, 1.0f, nullptr);
    tree.get_root()->GetDesc(d);
    std::vector<DWORD> all, unique;
    tree.get_root()->find_possible_faces_int_with_box(
        CBox(VEC(-1e30f, -1e30f, -1e30f), VEC(1e30f, 1e30f, 1e30f)), all);
    tree.remove_equal_faces(all, unique);
    EXPECT_EQ(std::count(unique.begin(), unique.end(), 4u), 0); // index 77 never enters the tree

    odd.vertices[3] = VEC(0.5f, 0.5f, 0.5f); // finite again
    odd.vertices[4] = VEC(2, 2, 2);
    tree.build_from_vbib(odd, 1, 10, 0, 1.0f, nullptr);
    hits.clear();
    tree.get_root()->RayTest(CRayForBox(VEC(0.2f, 0.2f, 5), VEC(0, 0, 0)), 0, 3.4e38f,
                             hits); // zero direction
    EXPECT_TRUE(hits.empty());
    tree.get_root()->RayTest(CRayForBox(VEC(0.2f, 0.2f, 5), VEC(0, 0, -1)), 0, 3.4e38f,
                             hits); // axis-parallel
    EXPECT_FALSE(hits.empty());
    OCTREE_INT_ITEM h;
    EXPECT_FALSE(tree.get_root()->RayTestNearest(CRayForBox(VEC(nan, 0, 0), VEC(0, 0, 1)), 0, 1e30f, h));
}

TEST(Octree, CopiesAreDeep) {
    std::mt19937 rng(4);
    CRawMesh mesh = random_mesh(rng, 500);
    auto owned = std::make_unique<COctree>();
    owned->build_from_vbib(mesh, 4, 6, 1, 1.0f, nullptr);
    COctree copy(*owned);
    COctree borrowed;
    borrowed.build_from_vbib(mesh, 4, 6, 0, 1.0f, nullptr);
    COctree assigned;
    assigned = borrowed;
    EXPECT_EQ(assigned.get_mesh(), &mesh); // a borrowed mesh stays borrowed
    assigned = copy;
    EXPECT_NE(copy.get_mesh(), owned->get_mesh());
    EXPECT_NE(copy.get_root(), owned->get_root());
    owned.reset(); // the copies keep working after the original is gone
    const CRayForBox ray(VEC(-20, 0, 0), VEC(40, 0.1f, 0.2f));
    std::vector<OCTREE_INT_ITEM> a, b;
    copy.get_root()->RayTest(ray, 0, 1, a);
    assigned.get_root()->RayTest(ray, 0, 1, b);
    EXPECT_EQ(a.size(), b.size());
    EXPECT_EQ(a.size() > 0, !brute_hits(mesh, ray).empty());
}

// Trees whose splits were refused for the reference budget, trees over non-finite vertices (the careful
// slab test) and queries started below the root all answer what a loop over every face answers.
TEST(Octree, RefusedSplitsNonFiniteMeshesAndSubtreesMatchBruteForce) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> pos(-12, 12);
    CRawMesh crowded; // large faces over one another: the budget stops splitting early
    for (int i = 0; i < 1500; ++i) {
        crowded.vertices.insert(crowded.vertices.end(),
                                {VEC(-10, pos(rng), -10), VEC(10, pos(rng), -10), VEC(0, pos(rng), 10)});
        const DWORD b = static_cast<DWORD>(3 * i);
        crowded.faces.emplace_back(b, b + 1, b + 2);
    }
    CRawMesh odd = random_mesh(rng, 1000);
    odd.vertices[4].x = nan;
    odd.vertices[10].y = inf;
    for (const CRawMesh* mesh : {&crowded, &odd}) {
        COctree tree;
        tree.build_from_vbib(*const_cast<CRawMesh*>(mesh), 1, 30, 0, 1.0f, nullptr);
        const COctNode* root = tree.get_root();
        for (int i = 0; i < 150; ++i) {
            const VEC o(pos(rng), pos(rng), pos(rng));
            const CRayForBox ray(o, i % 7 == 0 ? VEC(0, 0, 25) : VEC(pos(rng), pos(rng), pos(rng)) - o);
            std::vector<OCTREE_INT_ITEM> hits;
            root->RayTest(ray, 0, 3.4e38f, hits);
            std::set<DWORD> got;
            for (const OCTREE_INT_ITEM& h : hits)
                got.insert(h.face);
            ASSERT_EQ(got, brute_hits(*mesh, ray)) << "ray " << i;
            // The children together find what the root finds.
            std::set<DWORD> below;
            for (const COctNode* child : root->get_children()) {
                std::vector<OCTREE_INT_ITEM> part;
                child->RayTest(ray, 0, 3.4e38f, part);
                for (const OCTREE_INT_ITEM& h : part)
                    below.insert(h.face);
            }
            if (!root->is_leaf()) {
                EXPECT_EQ(below, got) << "ray " << i;
            }
            OCTREE_INT_ITEM nearest;
            ASSERT_EQ(root->RayTestNearest(ray, 0, 3.4e38f, nearest), !hits.empty());
            if (!hits.empty()) {
                EXPECT_EQ(nearest.dist, std::min_element(hits.begin(), hits.end())->dist);
            }
        }
    }
}

TEST(Octree, NearestStopsAtTheEndOfTheInterval) {
    // Two parallel squares' worth of triangles, at z = 0 and z = 5, in many cells.
    std::mt19937 rng(6);
    CRawMesh mesh = random_mesh(rng, 400);
    for (float z : {0.0f, 5.0f}) {
        const DWORD b = static_cast<DWORD>(mesh.vertices.size());
        mesh.vertices.insert(mesh.vertices.end(), {VEC(-10, -10, z), VEC(10, -10, z), VEC(-10, 10, z)});
        mesh.faces.emplace_back(b, b + 1, b + 2);
    }
    COctree tree;
    tree.build_from_vbib(mesh, 4, 8, 0, 1.0f, nullptr);
    // Cells entered only after t1 are left out; hits themselves are not cut to the interval.
    const CRayForBox ray(VEC(-5, -5, -20), VEC(0, 0, 1));
    OCTREE_INT_ITEM hit;
    ASSERT_TRUE(tree.get_root()->RayTestNearest(ray, 0, 3.4e38f, hit));
    EXPECT_LE(hit.dist, 20.0f);
    EXPECT_FALSE(tree.get_root()->RayTestNearest(ray, 0, 1.0f, hit));
    std::vector<OCTREE_INT_ITEM> hits;
    EXPECT_FALSE(tree.get_root()->RayTest(ray, 0, 1.0f, hits));
}

TEST(Octree, RaysGrazingRoughTerrainMatchBruteForce) {
    // A rough height field: a ray skimming it enters the bounds of hundreds of cells on each level, more
    // than a walk keeps waiting at once.
    constexpr int n = 300;
    std::mt19937 rng(8);
    std::uniform_real_distribution<float> bump(-0.02f, 0.02f);
    CRawMesh mesh;
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x)
            mesh.vertices.emplace_back(static_cast<float>(x), static_cast<float>(y), bump(rng));
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const auto at = [](int i, int j) { return static_cast<DWORD>(j * (n + 1) + i); };
            mesh.faces.emplace_back(at(x, y), at(x + 1, y), at(x, y + 1));
            mesh.faces.emplace_back(at(x + 1, y), at(x + 1, y + 1), at(x, y + 1));
        }
    COctree tree;
    tree.build_from_vbib(mesh, 4, 9, 0, 1.0f, nullptr);
    std::uniform_real_distribution<float> side(0, n);
    for (int i = 0; i < 6; ++i) {
        const VEC o(-1, side(rng), 0.015f), target(n + 1, side(rng), -0.015f);
        SCOPED_TRACE(i);
        EXPECT_GT(check_ray(tree, mesh, CRayForBox(o, target - o)), 10u);
    }
}

TEST(Octree, OfEqualNearestHitsTheFirstFoundStays) {
    // Pairs of coincident triangles among many others: both of a pair lie in the same leaves, one after the
    // other, and are met at exactly the same distance, so the nearest hit is always the pair's first face.
    std::mt19937 rng(21);
    CRawMesh mesh = random_mesh(rng, 600);
    std::uniform_real_distribution<float> pos(-9, 9);
    std::vector<DWORD> firsts;
    for (int i = 0; i < 40; ++i) {
        const VEC a(pos(rng), pos(rng), pos(rng));
        const DWORD b = static_cast<DWORD>(mesh.vertices.size());
        mesh.vertices.insert(mesh.vertices.end(), {a, a + VEC(0.7f, 0.1f, 0.2f), a + VEC(0.1f, 0.8f, -0.3f)});
        firsts.push_back(static_cast<DWORD>(mesh.faces.size()));
        mesh.faces.emplace_back(b, b + 1, b + 2);
        mesh.faces.emplace_back(b, b + 1, b + 2);
    }
    mesh.attributes.assign(mesh.faces.size(), 0);
    COctree tree;
    tree.build_from_vbib(mesh, 8, 8, 0, 1.0f, nullptr);
    std::normal_distribution<float> gauss;
    for (const DWORD first : firsts) {
        const CFace& f = mesh.faces[first];
        const VEC centre = (mesh.vertices[f.a] + mesh.vertices[f.b] + mesh.vertices[f.c]) / 3.0f;
        for (int k = 0; k < 8; ++k) {
            // Well off the pair's plane, from either side.
            const VEC e1 = mesh.vertices[f.b] - mesh.vertices[f.a],
                      e2 = mesh.vertices[f.c] - mesh.vertices[f.a];
            const VEC normal =
                VEC(e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x);
            const VEC noise = VEC(gauss(rng), gauss(rng), gauss(rng)) * 0.3f;
            const VEC dir = (normal.get_normalize() * (k % 2 ? 1.0f : -1.0f) + noise).get_normalize();
            const CRayForBox ray(centre - dir * 0.01f, dir);
            OCTREE_INT_ITEM hit;
            ASSERT_TRUE(tree.get_root()->RayTestNearest(ray, 0, 3.4e38f, hit));
            EXPECT_EQ(hit.face, first);
        }
    }
}
