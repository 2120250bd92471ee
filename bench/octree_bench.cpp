// Octree against Embree 3 (one thread) on a displaced sphere of about 1,000,000 triangles: the build, all
// hits per ray and the nearest hit per ray for 100,000 random rays through the mesh.
#include <qcore/geom/octree.h>

#include "ratio_reporter.h"

#include <benchmark/benchmark.h>
#include <embree3/rtcore.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

constexpr DWORD kSlices = 1000, kStacks = 501; // 2 × 1000 × 500 = 1,000,000 triangles
constexpr int kRays = 100000;
// Leaf threshold and depth limit; QCORE_OCTREE_LEAF and QCORE_OCTREE_DEPTH override them for tuning.
int env_or(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v ? std::atoi(v) : fallback;
}
const int kLeafFaces = env_or("QCORE_OCTREE_LEAF", 32);
const int kDepth = env_or("QCORE_OCTREE_DEPTH", 7);

struct Workload {
    CRawMesh mesh;
    std::vector<CRayForBox> rays;

    Workload() {
        // Rings of vertices from pole to pole, pushed in and out by a smooth bump pattern.
        for (DWORD s = 0; s <= kStacks; ++s) {
            const float phi = 3.14159265f * static_cast<float>(s) / kStacks;
            for (DWORD i = 0; i < kSlices; ++i) {
                const float theta = 6.2831853f * static_cast<float>(i) / kSlices;
                const float r = 1.0f + 0.05f * std::sin(7 * theta) * std::cos(5 * phi);
                mesh.vertices.emplace_back(r * std::sin(phi) * std::cos(theta), r * std::cos(phi),
                                           r * std::sin(phi) * std::sin(theta));
            }
        }
        for (DWORD s = 0; s < kStacks; ++s)
            for (DWORD i = 0; i < kSlices; ++i) {
                const DWORD a = s * kSlices + i, b = s * kSlices + (i + 1) % kSlices;
                const DWORD c = a + kSlices, d = b + kSlices;
                mesh.faces.emplace_back(a, c, b);
                mesh.faces.emplace_back(b, c, d);
            }
        mesh.faces.resize(size_t{2} * kSlices * (kStacks - 1)); // exactly 1,000,000
        mesh.attributes.assign(mesh.faces.size(), 0);
        // From a shell of radius 3 towards a random point inside the unit sphere.
        std::mt19937 rng(11);
        std::normal_distribution<float> gauss;
        std::uniform_real_distribution<float> unit(0, 1);
        for (int i = 0; i < kRays; ++i) {
            VEC o(gauss(rng), gauss(rng), gauss(rng));
            o = o.get_normalize() * 3.0f;
            VEC t(gauss(rng), gauss(rng), gauss(rng));
            t = t.get_normalize() * std::cbrt(unit(rng));
            rays.emplace_back(o, t - o);
        }
    }
};

Workload& work() {
    static Workload w;
    return w;
}

struct Embree {
    RTCDevice device = rtcNewDevice("threads=1");
    RTCScene scene = nullptr;

    void build(bool all_hits) {
        Workload& w = work();
        release_scene();
        scene = rtcNewScene(device);
        if (all_hits) rtcSetSceneFlags(scene, RTC_SCENE_FLAG_CONTEXT_FILTER_FUNCTION);
        RTCGeometry geom = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
        rtcSetSharedGeometryBuffer(geom, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, w.mesh.vertices.data(),
                                   0, sizeof(VEC), w.mesh.vertices.size());
        rtcSetSharedGeometryBuffer(geom, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, w.mesh.faces.data(), 0,
                                   sizeof(CFace), w.mesh.faces.size());
        rtcCommitGeometry(geom);
        rtcAttachGeometry(scene, geom);
        rtcReleaseGeometry(geom);
        rtcCommitScene(scene);
    }
    void release_scene() {
        if (scene) rtcReleaseScene(scene);
        scene = nullptr;
    }
    ~Embree() {
        release_scene();
        rtcReleaseDevice(device);
    }
};

Embree& embree() {
    static Embree e;
    return e;
}

COctree& tree() {
    static COctree t;
    if (!t.get_root()) {
        t.build_from_vbib(work().mesh, kLeafFaces, kDepth, 0, 1.0f, nullptr);
        OCTREE_DESC d;
        t.get_root()->GetDesc(d);
        std::printf("octree: leaf %d, depth %d: %d nodes, deepest %d, %d face references, largest leaf %d\n",
                    kLeafFaces, kDepth, d.node_count, d.max_depth, d.total_leaf_faces, d.max_leaf_faces);
    }
    return t;
}

RTCRayHit embree_ray(const CRayForBox& r) {
    RTCRayHit rh{};
    rh.ray.org_x = r.origin.x;
    rh.ray.org_y = r.origin.y;
    rh.ray.org_z = r.origin.z;
    rh.ray.dir_x = r.dir.x;
    rh.ray.dir_y = r.dir.y;
    rh.ray.dir_z = r.dir.z;
    rh.ray.tnear = 0;
    rh.ray.tfar = INFINITY;
    rh.ray.mask = 0xFFFFFFFF;
    rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    return rh;
}

// A context that collects every hit and rejects it, so that the traversal goes on to the next one.
struct CollectingContext {
    RTCIntersectContext base;
    std::vector<unsigned>* hits;
};

void collect(const RTCFilterFunctionNArguments* args) {
    auto* ctx = reinterpret_cast<const CollectingContext*>(args->context);
    ctx->hits->push_back(RTCHitN_primID(args->hit, args->N, 0));
    args->valid[0] = 0;
}

void rays_per_second(benchmark::State& state) {
    state.counters["rays/s"] = benchmark::Counter(
        static_cast<double>(kRays) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_OctreeBuild(benchmark::State& state) {
    Workload& w = work();
    for (auto _ : state) {
        COctree t;
        t.build_from_vbib(w.mesh, kLeafFaces, kDepth, 0, 1.0f, nullptr);
        benchmark::DoNotOptimize(t.get_root());
    }
}

void BM_EmbreeBuild(benchmark::State& state) {
    work();
    for (auto _ : state)
        embree().build(false);
}

void BM_OctreeAllHits(benchmark::State& state) {
    COctree& t = tree();
    size_t total = 0;
    std::vector<OCTREE_INT_ITEM> hits;
    std::vector<DWORD> faces, unique;
    // A face kept in two leaves the ray passes may hit twice: the tree's duplicate removal leaves each face
    // once, as Embree reports it.
    for (auto _ : state) {
        total = 0;
        for (const CRayForBox& r : work().rays) {
            hits.clear();
            faces.clear();
            unique.clear();
            t.get_root()->RayTest(r, 0, 3.4e38f, hits);
            for (const OCTREE_INT_ITEM& h : hits)
                faces.push_back(h.face);
            t.remove_equal_faces(faces, unique);
            total += unique.size();
        }
    }
    state.counters["hits"] = static_cast<double>(total);
    rays_per_second(state);
}

void BM_EmbreeAllHits(benchmark::State& state) {
    work();
    embree().build(true);
    std::vector<unsigned> hits;
    size_t total = 0;
    for (auto _ : state) {
        total = 0;
        for (const CRayForBox& r : work().rays) {
            hits.clear();
            CollectingContext ctx;
            rtcInitIntersectContext(&ctx.base);
            ctx.base.filter = collect;
            ctx.hits = &hits;
            RTCRayHit rh = embree_ray(r);
            rtcIntersect1(embree().scene, &ctx.base, &rh);
            total += hits.size();
        }
    }
    state.counters["hits"] = static_cast<double>(total);
    rays_per_second(state);
}

void BM_OctreeNearest(benchmark::State& state) {
    COctree& t = tree();
    size_t found = 0;
    for (auto _ : state) {
        found = 0;
        OCTREE_INT_ITEM hit;
        for (const CRayForBox& r : work().rays)
            found += t.get_root()->RayTestNearest(r, 0, 3.4e38f, hit);
    }
    state.counters["hits"] = static_cast<double>(found);
    rays_per_second(state);
}

void BM_EmbreeNearest(benchmark::State& state) {
    work();
    embree().build(false);
    size_t found = 0;
    for (auto _ : state) {
        found = 0;
        for (const CRayForBox& r : work().rays) {
            RTCIntersectContext ctx;
            rtcInitIntersectContext(&ctx);
            RTCRayHit rh = embree_ray(r);
            rtcIntersect1(embree().scene, &ctx, &rh);
            found += rh.hit.geomID != RTC_INVALID_GEOMETRY_ID;
        }
    }
    state.counters["hits"] = static_cast<double>(found);
    rays_per_second(state);
}

BENCHMARK(BM_OctreeBuild)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_EmbreeBuild)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OctreeAllHits)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_EmbreeAllHits)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_OctreeNearest)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_EmbreeNearest)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    return qcore::bench::run_with_pairs(argc, argv,
                                        {{"BM_OctreeBuild/iterations:3", "BM_EmbreeBuild/iterations:3"},
                                         {"BM_OctreeAllHits/iterations:2", "BM_EmbreeAllHits/iterations:2"},
                                         {"BM_OctreeNearest/iterations:3", "BM_EmbreeNearest/iterations:3"}});
}
