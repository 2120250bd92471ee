// The reference scene (a lit, textured mesh of about 100,000 triangles and 200 large alpha-blended
// quads at 1024x768) drawn by the software device and by Mesa's llvmpipe through OSMesa, at one and two
// threads. llvmpipe reads LP_NUM_THREADS once per process, so each of its runs happens in a child process.
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/window.h>

#include "osmesa_peer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

constexpr int width = 1024, height = 768;
constexpr int rings = 250, sides = 200; // torus: rings * sides * 2 triangles
constexpr int quad_count = 200;

struct MeshVertex {
    float x, y, z, nx, ny, nz, u, v;
};
struct QuadVertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};

struct Scene {
    std::vector<MeshVertex> vertices;
    std::vector<uint32_t> indices;
    std::vector<QuadVertex> quads;
    std::vector<uint32_t> texture; // 256x256 ARGB
    float world_view[16];
    float projection[16];
    float light_direction[3] = {0.4f, -0.5f, 0.77f}; // in camera space, travelling away from the light
    double quad_pixels = 0;
};

Scene make_scene() {
    Scene s;
    const float big = 1.0f, small = 0.4f, pi = 3.14159265f;
    for (int i = 0; i <= rings; ++i) {
        const float a = 2 * pi * static_cast<float>(i) / rings;
        for (int j = 0; j <= sides; ++j) {
            const float b = 2 * pi * static_cast<float>(j) / sides;
            const float cx = std::cos(a), sx = std::sin(a), cb = std::cos(b), sb = std::sin(b);
            s.vertices.push_back({(big + small * cb) * cx, small * sb, (big + small * cb) * sx, cb * cx, sb,
                                  cb * sx, 4.f * static_cast<float>(i) / rings,
                                  2.f * static_cast<float>(j) / sides});
        }
    }
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < sides; ++j) {
            const uint32_t k = static_cast<uint32_t>(i * (sides + 1) + j),
                           n = static_cast<uint32_t>(sides + 1);
            for (uint32_t idx : {k, k + n, k + 1, k + 1, k + n, k + n + 1})
                s.indices.push_back(idx);
        }
    uint32_t seed = 12345;
    auto rnd = [&] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<float>(seed >> 8) / 16777216.f;
    };
    for (int q = 0; q < quad_count; ++q) {
        const float w = 150 + 200 * rnd(), h = 120 + 160 * rnd();
        const float x = rnd() * (width - w), y = rnd() * (height - h);
        const uint32_t color = (0x50u << 24) | (static_cast<uint32_t>(rnd() * 255) << 16) |
                               (static_cast<uint32_t>(rnd() * 255) << 8) | static_cast<uint32_t>(rnd() * 255);
        const float z = 0.1f;
        const QuadVertex a{x, y, z, 1, color, 0, 0}, b{x + w, y, z, 1, color, 1, 0},
            c{x, y + h, z, 1, color, 0, 1}, d{x + w, y + h, z, 1, color, 1, 1};
        for (const QuadVertex& v : {a, b, c, c, b, d})
            s.quads.push_back(v);
        s.quad_pixels += static_cast<double>(w) * h;
    }
    s.texture.resize(256 * 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const bool check = ((x / 32) + (y / 32)) & 1;
            const uint32_t base = check ? 0xe0 : 0x60;
            s.texture[static_cast<size_t>(y * 256 + x)] =
                0xff000000u | (base << 16) | ((base ^ static_cast<uint32_t>(x & 0x1f)) << 8) | (255 - base);
        }
    // World: tilt the torus towards the camera; view: camera 3 units back.
    const float t = 0.9f, c = std::cos(t), sn = std::sin(t);
    const float wv[16] = {1, 0, 0, 0, 0, c, sn, 0, 0, -sn, c, 0, 0, 0, 3.0f, 1};
    std::memcpy(s.world_view, wv, sizeof wv);
    const float zn = 0.5f, zf = 20.f, fov = 1.0f, ys = 1.f / std::tan(fov / 2), xs = ys * height / width;
    const float q = zf / (zf - zn);
    const float proj[16] = {xs, 0, 0, 0, 0, ys, 0, 0, 0, 0, q, 1, 0, 0, -q * zn, 0};
    std::memcpy(s.projection, proj, sizeof proj);
    return s;
}

const Scene& scene() {
    static const Scene s = make_scene();
    return s;
}

struct Result {
    double fps = 0, mesh_pixels = 0;
};

// ---- the software device ----

D3DMATRIX to_matrix(const float* m) {
    D3DMATRIX out;
    std::memcpy(&out, m, sizeof out);
    return out;
}

// The scene through IDirect3DDevice8: buffers and texture in the managed pool, a headless window.
struct DeviceRenderer {
    HWND window = nullptr;
    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* dev = nullptr;
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    IDirect3DTexture8* tex = nullptr;

    explicit DeviceRenderer(int threads) {
        setenv("QCORE_SOFT_THREADS", std::to_string(threads).c_str(), 1);
        const Scene& s = scene();
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "raster_bench";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, "raster_bench", "", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                                 nullptr, nullptr);
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = width;
        pp.BackBufferHeight = height;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        if (!d3d || FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                             &pp, &dev)))
            return;
        BYTE* p = nullptr;
        const UINT vbytes = static_cast<UINT>(s.vertices.size() * sizeof(MeshVertex));
        dev->CreateVertexBuffer(vbytes, D3DUSAGE_WRITEONLY, 0x112, D3DPOOL_MANAGED, &vb);
        vb->Lock(0, 0, &p, 0);
        std::memcpy(p, s.vertices.data(), vbytes);
        vb->Unlock();
        const UINT ibytes = static_cast<UINT>(s.indices.size() * 4);
        dev->CreateIndexBuffer(ibytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX32, D3DPOOL_MANAGED, &ib);
        ib->Lock(0, 0, &p, 0);
        std::memcpy(p, s.indices.data(), ibytes);
        ib->Unlock();
        dev->CreateTexture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex);
        D3DLOCKED_RECT lr{};
        tex->LockRect(0, &lr, nullptr, 0);
        for (int y = 0; y < 256; ++y)
            std::memcpy(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch, &s.texture[static_cast<size_t>(y) * 256],
                        1024);
        tex->UnlockRect(0);
        const D3DMATRIX world = to_matrix(s.world_view), projection = to_matrix(s.projection);
        dev->SetTransform(D3DTS_WORLD, &world);
        dev->SetTransform(D3DTS_PROJECTION, &projection);
        D3DMATERIAL8 material{};
        material.Diffuse = {1, 1, 1, 1};
        material.Ambient = {1, 1, 1, 1};
        dev->SetMaterial(&material);
        D3DLIGHT8 light{};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {1, 1, 1, 1};
        light.Direction = {s.light_direction[0], s.light_direction[1], s.light_direction[2]};
        dev->SetLight(0, &light);
        dev->LightEnable(0, TRUE);
        dev->SetTexture(0, tex);
        dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        dev->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
        dev->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
        dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    }
    ~DeviceRenderer() {
        for (IUnknown* u : std::initializer_list<IUnknown*>{tex, ib, vb, dev, d3d})
            if (u) u->Release();
        if (window) DestroyWindow(window);
    }
    bool ok() const { return dev != nullptr; }

    void frame(bool quads = true) {
        const Scene& s = scene();
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xff203040u, 1.f, 0);
        dev->BeginScene();
        dev->SetRenderState(D3DRS_LIGHTING, TRUE);
        dev->SetRenderState(D3DRS_AMBIENT, 0xff303030u);
        dev->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
        dev->SetVertexShader(0x112);
        dev->SetStreamSource(0, vb, sizeof(MeshVertex));
        dev->SetIndices(ib, 0);
        dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(s.vertices.size()), 0,
                                  static_cast<UINT>(s.indices.size() / 3));
        if (quads) {
            dev->SetRenderState(D3DRS_LIGHTING, FALSE);
            dev->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
            dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
            dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
            dev->SetVertexShader(0x144);
            dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, quad_count * 2, s.quads.data(), sizeof(QuadVertex));
        }
        dev->EndScene();
    }

    std::vector<uint32_t> pixels() {
        std::vector<uint32_t> out(static_cast<size_t>(width) * height);
        IDirect3DSurface8* back = nullptr;
        dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
        D3DLOCKED_RECT lr{};
        back->LockRect(&lr, nullptr, D3DLOCK_READONLY);
        for (int y = 0; y < height; ++y)
            std::memcpy(&out[static_cast<size_t>(y) * width], static_cast<BYTE*>(lr.pBits) + y * lr.Pitch,
                        width * 4);
        back->UnlockRect();
        back->Release();
        return out;
    }
};

// RASTER_BENCH_DUMP=folder writes both renderers' last frames as PPM files, to compare them by eye.
void dump(const char* name, const std::vector<uint32_t>& pixels, bool bottom_up) {
    const char* folder = std::getenv("RASTER_BENCH_DUMP");
    if (!folder) return;
    FILE* f = std::fopen((std::string(folder) + "/" + name + ".ppm").c_str(), "wb");
    if (!f) return;
    std::fprintf(f, "P6\n%d %d\n255\n", width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t p = pixels[static_cast<size_t>((bottom_up ? height - 1 - y : y) * width + x)];
            const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16),
                                          static_cast<unsigned char>(p >> 8), static_cast<unsigned char>(p)};
            std::fwrite(rgb, 1, 3, f);
        }
    std::fclose(f);
}

double count_mesh_pixels(const std::vector<uint32_t>& pixels, uint32_t background) {
    double n = 0;
    for (uint32_t p : pixels)
        n += (p | 0xff000000u) != (background | 0xff000000u);
    return n;
}

// ---- llvmpipe ----

Result run_llvmpipe(int threads, double seconds) {
    const Scene& s = scene();
    qcore::bench::OsMesaTarget target(width, height);
    if (!target.ok()) return {};
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, 256, 0, GL_BGRA, GL_UNSIGNED_BYTE, s.texture.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_TEXTURE_2D);
    const float light[4] = {-s.light_direction[0], -s.light_direction[1], -s.light_direction[2], 0};
    const float white[4] = {1, 1, 1, 1}, ambient[4] = {0x30 / 255.f, 0x30 / 255.f, 0x30 / 255.f, 1};
    const float black[4] = {0, 0, 0, 1};
    auto frame = [&](bool quads) {
        glClearColor(0x20 / 255.f, 0x30 / 255.f, 0x40 / 255.f, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glDepthMask(GL_TRUE);
        glDisable(GL_BLEND);
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        qcore::bench::load_d3d_projection(s.projection);
        glLoadIdentity();
        glLightfv(GL_LIGHT0, GL_POSITION, light);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
        glLightfv(GL_LIGHT0, GL_AMBIENT, black);
        glLightfv(GL_LIGHT0, GL_SPECULAR, black);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, white);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glLoadMatrixf(s.world_view);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(3, GL_FLOAT, sizeof(MeshVertex), &s.vertices[0].x);
        glNormalPointer(GL_FLOAT, sizeof(MeshVertex), &s.vertices[0].nx);
        glTexCoordPointer(2, GL_FLOAT, sizeof(MeshVertex), &s.vertices[0].u);
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(s.indices.size()), GL_UNSIGNED_INT,
                       s.indices.data());
        glDisableClientState(GL_NORMAL_ARRAY);
        if (quads) {
            glDisable(GL_LIGHTING);
            glDisable(GL_CULL_FACE);
            glDepthMask(GL_FALSE);
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glOrtho(0, width, height, 0, 0, 1);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glEnableClientState(GL_COLOR_ARRAY);
            glVertexPointer(2, GL_FLOAT, sizeof(QuadVertex), &s.quads[0].x);
            glTexCoordPointer(2, GL_FLOAT, sizeof(QuadVertex), &s.quads[0].u);
            glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, sizeof(QuadVertex), &s.quads[0].color);
            glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(s.quads.size()));
            glDisableClientState(GL_COLOR_ARRAY);
        }
        glFinish();
    };
    Result result;
    frame(false);
    result.mesh_pixels = count_mesh_pixels(target.pixels, 0xff203040u);
    result.fps = qcore::bench::frames_per_second([&] { frame(true); }, seconds);
    dump(("llvmpipe" + std::to_string(threads)).c_str(), target.pixels, true);
    return result;
}

Result g_soft[3], g_llvmpipe[3];

void BM_SoftReferenceScene(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    DeviceRenderer renderer(threads);
    if (!renderer.ok()) {
        state.SkipWithError("software device could not be created");
        return;
    }
    renderer.frame(false);
    Result& r = g_soft[threads];
    r.mesh_pixels = count_mesh_pixels(renderer.pixels(), 0xff203040u);
    int frames = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        renderer.frame();
        ++frames;
    }
    r.fps = frames / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    dump(("soft" + std::to_string(threads)).c_str(), renderer.pixels(), false);
    state.counters["fps"] = r.fps;
    state.counters["Mtri/s"] = r.fps * (scene().indices.size() / 3 + quad_count * 2) / 1e6;
    state.counters["Mpix/s"] = r.fps * (r.mesh_pixels + scene().quad_pixels) / 1e6;
}
BENCHMARK(BM_SoftReferenceScene)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void print_row(const char* name, int threads, const Result& r) {
    const double tris = static_cast<double>(scene().indices.size() / 3 + quad_count * 2);
    std::printf("%-10s %7d %9.2f %9.2f %9.1f\n", name, threads, r.fps, r.fps * tris / 1e6,
                r.fps * (r.mesh_pixels + scene().quad_pixels) / 1e6);
}

} // namespace

int main(int argc, char** argv) {
    // Children first, before this process starts any thread.
    // RASTER_BENCH_NO_PEER=1 skips llvmpipe while tuning.
    if (!std::getenv("RASTER_BENCH_NO_PEER"))
        for (int threads : {1, 2})
            g_llvmpipe[threads] =
                qcore::bench::in_llvmpipe_child(threads, [=] { return run_llvmpipe(threads, 2.0); });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nreference scene %dx%d: %zu mesh triangles, %d blended quads (%.1f Mpixel of quads)\n",
                width, height, scene().indices.size() / 3, quad_count, scene().quad_pixels / 1e6);
    std::printf("%-10s %7s %9s %9s %9s\n", "renderer", "threads", "fps", "Mtri/s", "Mpix/s");
    for (int threads : {1, 2}) {
        print_row("soft", threads, g_soft[threads]);
        print_row("llvmpipe", threads, g_llvmpipe[threads]);
        if (g_llvmpipe[threads].fps > 0)
            std::printf("ratio soft/llvmpipe at %d thread%s: %.2f\n", threads, threads > 1 ? "s" : "",
                        g_soft[threads].fps / g_llvmpipe[threads].fps);
    }
    return 0;
}
