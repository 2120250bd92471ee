#include <qcore/geom/octree_layout.h>

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>

namespace {

struct Tri {
    VEC a, b, c;
};

void put(qcore::detail::OctLayout::Block& block, int lane, const Tri& t) {
    block.set(lane, t.a, t.b - t.a, t.c - t.a);
}

bool same_bits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

// Four triangles at once must give what the scalar test gives one by one, to the bit: the octree's hits and
// a brute-force loop over D3DXIntersectTri are compared as equal.
TEST(OctreeLayout, BlockTestAgreesWithTheScalarTest) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pos(-4, 4), unit(0, 1);
    std::uniform_int_distribution<int> kind(0, 9);
    const auto point = [&] { return VEC(pos(rng), pos(rng), pos(rng)); };
    size_t hits = 0;
    for (int round = 0; round < 20000; ++round) {
        Tri tris[4];
        for (Tri& t : tris) {
            t = {point(), point(), point()};
            switch (kind(rng)) {
            case 0:
                t.c = t.b;
                break; // degenerate: two corners in one
            case 1:
                t.c = t.a + (t.b - t.a) * 0.5f;
                break; // degenerate: a line
            case 2:
                t.b.x = nan;
                break; // not a number
            case 3:
                t.c.y = inf;
                break; // infinite
            case 4:
                t.b = t.a + (t.b - t.a) * 1e-6f;
                break; // a sliver
            default:
                break;
            }
        }
        // Rays at random, through a corner, through the middle of an edge, parallel to a face, from within
        // a face, with no direction, or along an axis.
        const Tri& aim = tris[round % 4];
        VEC o = point() * 2.0f, target = point();
        switch (round % 8) {
        case 1:
            target = aim.b;
            break;
        case 2:
            target = (aim.a + aim.c) * 0.5f;
            break;
        case 3:
            o = aim.a + (aim.b - aim.a) * unit(rng) + (aim.c - aim.a) * unit(rng) * 0.5f;
            break;
        case 4:
            target = o + (aim.b - aim.a);
            break;
        case 5:
            target = o;
            break;
        case 6:
            target = VEC(o.x, o.y, -o.z);
            break;
        default:
            break;
        }
        const CRayForBox ray(o, target - o);
        qcore::detail::OctLayout::Block block;
        for (int lane = 0; lane < 4; ++lane)
            put(block, lane, tris[lane]);
        float u[4], v[4], d[4];
        const unsigned lanes = qcore::detail::intersect_block(block, ray, u, v, d);
        for (int lane = 0; lane < 4; ++lane) {
            const Tri& t = tris[lane];
            float su, sv, sd;
            const bool scalar = qcore::detail::intersect_tri_edges(t.a, t.b - t.a, t.c - t.a, ray.origin,
                                                                   ray.dir, su, sv, sd);
            ASSERT_EQ((lanes >> lane & 1) != 0, scalar) << "round " << round << " lane " << lane;
            if (!scalar) continue;
            ++hits;
            EXPECT_TRUE(same_bits(u[lane], su) && same_bits(v[lane], sv) && same_bits(d[lane], sd))
                << "round " << round << " lane " << lane;
        }
    }
    EXPECT_GT(hits, 3000u); // the aimed rays do hit
}

// A lane left empty (zero edges) is met by no ray, whatever its direction.
TEST(OctreeLayout, EmptyLanesNeverHit) {
    qcore::detail::OctLayout::Block block;
    put(block, 0, {VEC(0, 0, 0), VEC(1, 0, 0), VEC(0, 1, 0)});
    float u[4], v[4], d[4];
    for (const VEC& dir : {VEC(0, 0, 1), VEC(0, 0, 0), VEC(1e-30f, 0, 1), VEC(0.1f, 0.1f, 1)}) {
        const unsigned lanes =
            qcore::detail::intersect_block(block, CRayForBox(VEC(0.2f, 0.2f, -1), dir), u, v, d);
        EXPECT_EQ(lanes & ~1u, 0u);
    }
    EXPECT_EQ(qcore::detail::intersect_block(block, CRayForBox(VEC(0.2f, 0.2f, -1), VEC(0, 0, 1)), u, v, d),
              1u);
    EXPECT_FLOAT_EQ(d[0], 1.0f);
}
