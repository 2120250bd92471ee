// Three scenes at 1024x768 drawn by the software device and by Mesa's llvmpipe through OSMesa, at one and two
// threads: the reference scene (a lit, textured mesh of about 100,000 triangles and 200 large alpha-blended
// quads), the fill test (full-screen textured, blended quads) and the multitexture scene (the reference
// scene with a second texture added in a second stage). llvmpipe reads LP_NUM_THREADS once per process, so
// each of its runs happens in a child process; its times come back as manually timed benchmarks beside
// ours, and the reporter prints each speed ratio.
#include "osmesa_peer.h"
#include "ratio_reporter.h"

#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/window.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int width = 1024, height = 768;
constexpr int rings = 250, sides = 200; // torus: rings * sides * 2 triangles
constexpr int quad_count = 200;
constexpr int fill_layers = 16; // full-screen quads in the fill test

enum Kind { reference, fill, multitexture, kind_count };
const char* const kind_names[kind_count] = {"ReferenceScene", "Fill", "Multitexture"};

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
    std::vector<QuadVertex> fill_quads;
    std::vector<uint32_t> texture; // 256x256 ARGB
    std::vector<uint32_t> light;   // 64x64 ARGB, added by the multitexture scene's second stage
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
    for (int layer = 0; layer < fill_layers; ++layer) {
        const uint32_t color = 0x80000000u | (0x40u + static_cast<uint32_t>(layer) * 12u) << 8 | 0x00c08000u;
        const float w = width, h = height, r = 4.f;
        const QuadVertex a{0, 0, 0.5f, 1, color, 0, 0}, b{w, 0, 0.5f, 1, color, r, 0},
            c{0, h, 0.5f, 1, color, 0, r}, d{w, h, 0.5f, 1, color, r, r};
        for (const QuadVertex& v : {a, b, c, c, b, d})
            s.fill_quads.push_back(v);
    }
    s.light.resize(64 * 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const uint32_t l = static_cast<uint32_t>((x * 3 + y * 2) % 96);
            s.light[static_cast<size_t>(y * 64 + x)] = 0xff000000u | l << 16 | (l / 2) << 8 | (95 - l);
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

// Pixels drawn per frame: the mesh's (counted in a frame of the mesh alone) and the quads'.
double frame_pixels(Kind kind, const Result& r) {
    return kind == fill ? double{fill_layers} * width * height : r.mesh_pixels + scene().quad_pixels;
}
double frame_triangles(Kind kind) {
    return kind == fill ? 2.0 * fill_layers
                        : static_cast<double>(scene().indices.size() / 3 + quad_count * 2);
}

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
    IDirect3DTexture8* light_tex = nullptr;
    Kind kind;

    DeviceRenderer(int threads, Kind k) : kind(k) {
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
        dev->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &light_tex);
        light_tex->LockRect(0, &lr, nullptr, 0);
        for (int y = 0; y < 64; ++y)
            std::memcpy(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch, &s.light[static_cast<size_t>(y) * 64],
                        256);
        light_tex->UnlockRect(0);
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
        if (kind == multitexture) {
            // The second texture added to the first stage's result, from the same texture coordinates.
            dev->SetTexture(1, light_tex);
            dev->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
            dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
            dev->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            dev->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
            dev->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
            dev->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
            dev->SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
            dev->SetTextureStageState(1, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
            dev->SetTextureStageState(1, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
        }
    }
    ~DeviceRenderer() {
        for (IUnknown* u : std::initializer_list<IUnknown*>{light_tex, tex, ib, vb, dev, d3d})
            if (u) u->Release();
        if (window) DestroyWindow(window);
    }
    bool ok() const { return dev != nullptr; }

    void frame(bool quads = true) {
        const Scene& s = scene();
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xff203040u, 1.f, 0);
        dev->BeginScene();
        if (kind == fill) {
            dev->SetRenderState(D3DRS_LIGHTING, FALSE);
            dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
            dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
            dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
            dev->SetVertexShader(0x144);
            if (quads)
                dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, fill_layers * 2, s.fill_quads.data(),
                                     sizeof(QuadVertex));
            dev->EndScene();
            return;
        }
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

// prefix, the scene's name (none for kind_count) and the thread count, appended piece by piece (g++ 12
// misreads concatenations of temporaries in optimised builds).
std::string run_name(const char* prefix, int kind, int threads) {
    std::string name = prefix;
    if (kind < kind_count) name += kind_names[kind];
    name += std::to_string(threads);
    return name;
}

double count_mesh_pixels(const std::vector<uint32_t>& pixels, uint32_t background) {
    double n = 0;
    for (uint32_t p : pixels)
        n += (p | 0xff000000u) != (background | 0xff000000u);
    return n;
}

// ---- llvmpipe ----

Result run_llvmpipe(Kind kind, int threads, double seconds) {
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
    if (kind == multitexture) {
        GLuint light = 0;
        glGenTextures(1, &light);
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, light);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 64, 64, 0, GL_BGRA, GL_UNSIGNED_BYTE, s.light.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD); // colour added, alpha multiplied
        glEnable(GL_TEXTURE_2D);
        glActiveTexture(GL_TEXTURE0);
    }
    // The second unit reads the first unit's texture coordinates.
    auto tex_coords = [&](const float* uv, GLsizei stride) {
        glTexCoordPointer(2, GL_FLOAT, stride, uv);
        if (kind != multitexture) return;
        glClientActiveTexture(GL_TEXTURE1);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, stride, uv);
        glClientActiveTexture(GL_TEXTURE0);
    };
    const float light[4] = {-s.light_direction[0], -s.light_direction[1], -s.light_direction[2], 0};
    const float white[4] = {1, 1, 1, 1}, ambient[4] = {0x30 / 255.f, 0x30 / 255.f, 0x30 / 255.f, 1};
    const float black[4] = {0, 0, 0, 1};
    // Unlit, blended, pre-transformed quads in pixel coordinates.
    auto blended_quads = [] {
        glDisable(GL_LIGHTING);
        glDisable(GL_CULL_FACE);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, width, height, 0, 0, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    };
    auto frame = [&](bool quads) {
        glClearColor(0x20 / 255.f, 0x30 / 255.f, 0x40 / 255.f, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        if (kind == fill) {
            glDisable(GL_DEPTH_TEST);
            blended_quads();
            if (quads) {
                glEnableClientState(GL_VERTEX_ARRAY);
                glEnableClientState(GL_TEXTURE_COORD_ARRAY);
                glEnableClientState(GL_COLOR_ARRAY);
                glVertexPointer(2, GL_FLOAT, sizeof(QuadVertex), &s.fill_quads[0].x);
                tex_coords(&s.fill_quads[0].u, sizeof(QuadVertex));
                glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, sizeof(QuadVertex), &s.fill_quads[0].color);
                glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(s.fill_quads.size()));
            }
            glFinish();
            return;
        }
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
        tex_coords(&s.vertices[0].u, sizeof(MeshVertex));
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(s.indices.size()), GL_UNSIGNED_INT,
                       s.indices.data());
        glDisableClientState(GL_NORMAL_ARRAY);
        if (quads) {
            glDepthMask(GL_FALSE);
            blended_quads();
            glEnableClientState(GL_COLOR_ARRAY);
            glVertexPointer(2, GL_FLOAT, sizeof(QuadVertex), &s.quads[0].x);
            tex_coords(&s.quads[0].u, sizeof(QuadVertex));
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
    dump(run_name("llvmpipe_", kind, threads).c_str(), target.pixels, true);
    return result;
}

Result g_soft[kind_count][3], g_llvmpipe[kind_count][3];

void soft_scene(benchmark::State& state, Kind kind) {
    const int threads = static_cast<int>(state.range(0));
    DeviceRenderer renderer(threads, kind);
    if (!renderer.ok()) {
        state.SkipWithError("software device could not be created");
        return;
    }
    renderer.frame(false);
    Result& r = g_soft[kind][threads];
    r.mesh_pixels = count_mesh_pixels(renderer.pixels(), 0xff203040u);
    int frames = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        renderer.frame();
        ++frames;
    }
    r.fps = frames / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    dump(run_name("soft_", kind, threads).c_str(), renderer.pixels(), false);
    state.counters["fps"] = r.fps;
    state.counters["Mtri/s"] = r.fps * frame_triangles(kind) / 1e6;
    state.counters["Mpix/s"] = r.fps * frame_pixels(kind, r) / 1e6;
}

// llvmpipe's frame time, measured in a child process, reported as this benchmark's time. Each runs just
// before the device draws the same scene, so that both see the same load on the machine.
void llvmpipe_scene(benchmark::State& state, Kind kind) {
    const int threads = static_cast<int>(state.range(0));
    Result& r = g_llvmpipe[kind][threads];
    r = qcore::bench::in_llvmpipe_child(threads, [=] { return run_llvmpipe(kind, threads, 2.0); });
    if (r.fps <= 0) {
        state.SkipWithError("llvmpipe did not run");
        return;
    }
    for (auto _ : state)
        state.SetIterationTime(1.0 / r.fps);
    state.counters["fps"] = r.fps;
    state.counters["Mpix/s"] = r.fps * frame_pixels(kind, r) / 1e6;
}

void print_row(const char* name, Kind kind, int threads, const Result& r) {
    std::printf("%-14s %-10s %7d %9.2f %9.2f %9.1f\n", kind_names[kind], name, threads, r.fps,
                r.fps * frame_triangles(kind) / 1e6, r.fps * frame_pixels(kind, r) / 1e6);
}

} // namespace

int main(int argc, char** argv) {
    // llvmpipe runs in child processes forked between benchmarks, when no thread of the device is running
    // (each benchmark releases its device, and with it the device's workers). RASTER_BENCH_NO_PEER=1 skips
    // llvmpipe while tuning.
    const bool peer = !std::getenv("RASTER_BENCH_NO_PEER");
    std::vector<std::pair<std::string, std::string>> pairs;
    for (int k = 0; k < kind_count; ++k)
        for (int threads : {1, 2}) {
            const Kind kind = static_cast<Kind>(k);
            const std::string ours = std::string("BM_Soft") + kind_names[k],
                              theirs = std::string("BM_Llvmpipe") + kind_names[k];
            if (peer)
                benchmark::RegisterBenchmark(theirs.c_str(), llvmpipe_scene, kind)
                    ->Arg(threads)
                    ->Unit(benchmark::kMillisecond)
                    ->Iterations(1)
                    ->UseManualTime();
            benchmark::RegisterBenchmark(ours.c_str(), soft_scene, kind)
                ->Arg(threads)
                ->Unit(benchmark::kMillisecond)
                ->MinTime(2.0)
                ->UseRealTime();
            // Peer over ours: how many times faster than llvmpipe the device draws the scene.
            const std::string suffix = run_name("/", kind_count, threads);
            pairs.emplace_back(theirs + suffix + "/iterations:1/manual_time",
                               ours + suffix + "/min_time:2.000/real_time");
        }
    benchmark::Initialize(&argc, argv);
    qcore::bench::PairsReporter reporter(pairs);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("\nscenes at %dx%d: %zu mesh triangles, %d blended quads (%.1f Mpixel of quads); fill: %d "
                "full-screen "
                "quads\n",
                width, height, scene().indices.size() / 3, quad_count, scene().quad_pixels / 1e6,
                fill_layers);
    std::printf("%-14s %-10s %7s %9s %9s %9s\n", "scene", "renderer", "threads", "fps", "Mtri/s", "Mpix/s");
    for (int k = 0; k < kind_count; ++k)
        for (int threads : {1, 2}) {
            const Kind kind = static_cast<Kind>(k);
            print_row("soft", kind, threads, g_soft[k][threads]);
            print_row("llvmpipe", kind, threads, g_llvmpipe[k][threads]);
            if (g_llvmpipe[k][threads].fps > 0)
                std::printf("speed ratio soft/llvmpipe, %s at %d thread%s: %.2f\n", kind_names[k], threads,
                            threads > 1 ? "s" : "", g_soft[k][threads].fps / g_llvmpipe[k][threads].fps);
        }
    return 0;
}
