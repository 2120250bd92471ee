// The viewer's frame rate on its sample scene at 1024x768 (material states, opaque-then-transparent order,
// frame-rate text and present included), side by side with Mesa's llvmpipe through OSMesa drawing the same
// meshes with the same colours, light and blending, at one and two threads.
#include "headless_device.h"
#include "osmesa_peer.h"
#include "sample_scene.h"
#include "viewer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int width = 1024, height = 768;
constexpr uint32_t background = 0xff808080u;

struct Result {
    double fps = 0;
    double covered = 0; // pixels that are not background
    double triangles = 0;
};
Result g_viewer[3], g_llvmpipe[3];

double covered_pixels(const std::vector<uint32_t>& pixels) {
    double n = 0;
    for (uint32_t p : pixels)
        n += (p | 0xff000000u) != background;
    return n;
}

// One item's triangles in world space order, with its material's colour.
struct Batch {
    std::vector<qscene::MeshVertex> vertices;
    std::vector<uint32_t> indices;
    MAT world;
    D3DCOLORVALUE colour;
    bool blend;
};

std::vector<Batch> batches_of(const qscene::CScene& scene) {
    std::vector<Batch> opaque, blended;
    for (const auto& item : scene.items) {
        ID3DXMesh* mesh = item->mesh.get();
        const IMaterial* m = scene.materials[item->materials.at(0)].material.get();
        Batch b{{}, {}, item->get_wts(), m->get_color().Diffuse, m->is_enable_transp() != 0};
        if (b.blend) b.colour.a = static_cast<float>(m->get_transparent_factor()) / 255.0f;
        BYTE* v = nullptr;
        BYTE* i = nullptr;
        mesh->LockVertexBuffer(D3DLOCK_READONLY, &v);
        mesh->LockIndexBuffer(D3DLOCK_READONLY, &i);
        const auto* verts = reinterpret_cast<const qscene::MeshVertex*>(v);
        b.vertices.assign(verts, verts + mesh->GetNumVertices());
        const bool wide = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
        for (DWORD k = 0; k < mesh->GetNumFaces() * 3; ++k)
            b.indices.push_back(wide ? reinterpret_cast<const DWORD*>(i)[k]
                                     : reinterpret_cast<const WORD*>(i)[k]);
        mesh->UnlockIndexBuffer();
        mesh->UnlockVertexBuffer();
        (b.blend ? blended : opaque).push_back(std::move(b));
    }
    opaque.insert(opaque.end(), blended.begin(), blended.end());
    return opaque;
}

// llvmpipe: the sample scene built on a device of this process, its meshes drawn with fixed-function
// OpenGL through the viewer's camera.
Result run_llvmpipe(double seconds) {
    gCore core;
    qscene::CScene scene(&core);
    std::string error;
    if (!qview::build_sample_scene(scene, qcore::bench::headless_device(), "", error)) return {};
    const std::vector<Batch> batches = batches_of(scene);
    qcore::bench::OsMesaTarget target(width, height);
    if (!target.ok()) return {};
    const CCamera& cam = scene.camera;
    const float aspect = static_cast<float>(width) / height;
    MAT view, projection;
    const VEC eye = cam.get_eye_pos(), at = cam.get_target_pos(), up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&projection, 2.0f * std::atan(std::tan(cam.get_fov() / 2) / aspect), aspect,
                               cam.get_near_plane(), cam.get_far_plane());
    const float light[4] = {0.3f, 0.7f, -0.65f, 0}, white[4] = {1, 1, 1, 1}, black[4] = {0, 0, 0, 1};
    const float ambient[4] = {70 / 255.f, 70 / 255.f, 70 / 255.f, 1};
    auto frame = [&] {
        glClearColor(0.5f, 0.5f, 0.5f, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        qcore::bench::load_d3d_projection(projection);
        glLoadMatrixf(view);
        glLightfv(GL_LIGHT0, GL_POSITION, light);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
        glLightfv(GL_LIGHT0, GL_AMBIENT, black);
        glLightfv(GL_LIGHT0, GL_SPECULAR, black);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        for (const Batch& b : batches) {
            const MAT world_view = b.world * view;
            glLoadMatrixf(world_view);
            glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, &b.colour.r);
            glDepthMask(b.blend ? GL_FALSE : GL_TRUE);
            if (b.blend)
                glEnable(GL_BLEND);
            else
                glDisable(GL_BLEND);
            glVertexPointer(3, GL_FLOAT, sizeof(qscene::MeshVertex), b.vertices[0].pos);
            glNormalPointer(GL_FLOAT, sizeof(qscene::MeshVertex), b.vertices[0].normal);
            glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(b.indices.size()), GL_UNSIGNED_INT,
                           b.indices.data());
        }
        glFinish();
    };
    Result r;
    for (const Batch& b : batches)
        r.triangles += static_cast<double>(b.indices.size() / 3);
    frame();
    r.covered = covered_pixels(target.pixels);
    r.fps = qcore::bench::frames_per_second(frame, seconds);
    return r;
}

void BM_ViewerSampleScene(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    setenv("QCORE_SOFT_THREADS", std::to_string(threads).c_str(), 1);
    gCore core;
    qscene::CScene scene(&core);
    qview::CViewer viewer(core, scene);
    qview::ViewerOptions options;
    options.width = width;
    options.height = height;
    std::string error;
    if (!viewer.open(options, error) ||
        !qview::build_sample_scene(scene, viewer.device().get_dev(), "", error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    viewer.show_scene();
    viewer.render_frame();
    Result& r = g_viewer[threads];
    r = Result{};
    const qcore::WindowImage image = qcore::capture_window(viewer.hwnd());
    r.covered = covered_pixels(image.pixels);
    for (const auto& item : scene.items)
        r.triangles += item->mesh->GetNumFaces();
    int frames = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        viewer.render_frame();
        ++frames;
    }
    r.fps = frames / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["fps"] = r.fps;
}
BENCHMARK(BM_ViewerSampleScene)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    // llvmpipe's runs first, each in a child, before this process starts any thread (VIEW_BENCH_NO_PEER=1
    // skips them).
    if (!std::getenv("VIEW_BENCH_NO_PEER"))
        for (int threads : {1, 2})
            g_llvmpipe[threads] = qcore::bench::in_llvmpipe_child(threads, [] { return run_llvmpipe(2.0); });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nviewer sample scene %dx%d\n%-10s %7s %9s %10s %12s\n", width, height, "renderer",
                "threads", "fps", "triangles", "covered px");
    for (int threads : {1, 2}) {
        for (const auto& [name, r] :
             {std::pair{"viewer", g_viewer[threads]}, {"llvmpipe", g_llvmpipe[threads]}})
            std::printf("%-10s %7d %9.1f %10.0f %12.0f\n", name, threads, r.fps, r.triangles, r.covered);
        if (g_llvmpipe[threads].fps > 0)
            std::printf("ratio viewer/llvmpipe at %d thread%s: %.2f\n", threads, threads > 1 ? "s" : "",
                        g_viewer[threads].fps / g_llvmpipe[threads].fps);
    }
    return 0;
}
