// Image loading and mesh optimisation side by side with the libraries underneath; a summary of the time
// ratios (and the cache efficiency of both optimisations) follows the table.
#include <qcore/platform/d3d8/d3dx/d3dx8mesh.h>
#include <qcore/platform/d3d8/d3dx/d3dx8tex.h>
#include <qcore/platform/d3d8/d3dx/image_codec.h>
#include <qcore/platform/win32/window.h>

#include "headless_device.h"
#include "ratio_reporter.h"

#include <benchmark/benchmark.h>
#include <meshoptimizer.h>

#include <cstdio>
#include <jpeglib.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kImageSize = 2048;
constexpr uint32_t kGrid = 707; // 707 x 707 quads: 999,698 triangles

// A photo-like test image: smooth gradients with fine noise, written once.
const std::string& jpeg_path() {
    static const std::string path = [] {
        qcore::detail::ArgbImage img;
        img.width = img.height = kImageSize;
        img.pixels.resize(size_t(kImageSize) * kImageSize);
        std::mt19937 rng(3);
        for (uint32_t y = 0; y < kImageSize; ++y)
            for (uint32_t x = 0; x < kImageSize; ++x) {
                const uint32_t n = rng() & 15;
                const uint32_t r = (x / 8 + n) & 255, g = (y / 8 + n) & 255, b = ((x + y) / 16) & 255;
                img.row(y)[x] = 0xFF000000u | r << 16 | g << 8 | b;
            }
        const std::string p = "/tmp/qcore_d3dx_bench_" + std::to_string(::getpid()) + ".jpg";
        qcore::detail::write_whole_file(p.c_str(), qcore::detail::encode_jpeg(img, 90));
        return p;
    }();
    return path;
}

void jpeg_texture_qcore(benchmark::State& state) {
    IDirect3DDevice8* dev = qcore::bench::headless_device();
    for (auto _ : state) {
        IDirect3DTexture8* tex = nullptr;
        const HRESULT hr = D3DXCreateTextureFromFileExA(dev, jpeg_path().c_str(), 1024, 1024, D3DX_DEFAULT, 0,
                                                        D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                        D3DX_DEFAULT, 0, nullptr, nullptr, &tex);
        if (FAILED(hr)) state.SkipWithError("texture load failed");
        if (tex) tex->Release();
    }
}

// The peer: reading the file and decoding it at full size, nothing else.
void jpeg_texture_libjpeg(benchmark::State& state) {
    std::vector<uint8_t> pixels(size_t(kImageSize) * kImageSize * 4);
    for (auto _ : state) {
        std::vector<uint8_t> file;
        qcore::detail::read_whole_file(jpeg_path().c_str(), file);
        jpeg_decompress_struct cinfo{};
        jpeg_error_mgr err{};
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, file.data(), file.size());
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_EXT_BGRA;
        jpeg_start_decompress(&cinfo);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = pixels.data() + size_t(cinfo.output_scanline) * kImageSize * 4;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(pixels.data());
    }
}

struct Vertex {
    float position[3];
    float normal[3];
    float uv[2];
};

// A grid of shuffled triangles, the worst order for a vertex cache.
struct GridMesh {
    std::vector<Vertex> vertices;
    std::vector<uint32_t> indices;
    std::vector<DWORD> adjacency;
};

const GridMesh& grid() {
    static const GridMesh mesh = [] {
        GridMesh m;
        const uint32_t side = kGrid + 1;
        for (uint32_t v = 0; v < side * side; ++v) {
            const float x = float(v % side), y = float(v / side);
            m.vertices.push_back({{x, y, std::sin(x * 0.1f)}, {0, 0, 1}, {x / kGrid, y / kGrid}});
        }
        std::vector<std::array<uint32_t, 3>> tris;
        for (uint32_t y = 0; y < kGrid; ++y)
            for (uint32_t x = 0; x < kGrid; ++x) {
                const uint32_t a = y * side + x;
                tris.push_back({a, a + side, a + side + 1});
                tris.push_back({a, a + side + 1, a + 1});
            }
        std::mt19937 rng(11);
        std::shuffle(tris.begin(), tris.end(), rng);
        for (const auto& t : tris)
            m.indices.insert(m.indices.end(), t.begin(), t.end());
        return m;
    }();
    return mesh;
}

std::map<std::string, double>& acmr_results() {
    static std::map<std::string, double> r;
    return r;
}

void optimize_qcore(benchmark::State& state) {
    const GridMesh& g = grid();
    const DWORD faces = DWORD(g.indices.size() / 3), vertices = DWORD(g.vertices.size());
    ID3DXMesh* mesh = nullptr;
    D3DXCreateMeshFVF(faces, vertices, D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT,
                      D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, qcore::bench::headless_device(), &mesh);
    std::vector<DWORD> adjacency(g.indices.size());
    double acmr = 0;
    for (auto _ : state) {
        state.PauseTiming();
        BYTE* p = nullptr;
        mesh->LockVertexBuffer(0, &p);
        std::memcpy(p, g.vertices.data(), g.vertices.size() * sizeof(Vertex));
        mesh->UnlockVertexBuffer();
        mesh->LockIndexBuffer(0, &p);
        std::memcpy(p, g.indices.data(), g.indices.size() * 4);
        mesh->UnlockIndexBuffer();
        if (adjacency[0] == 0 && adjacency[1] == 0) mesh->GenerateAdjacency(0.0f, adjacency.data());
        state.ResumeTiming();
        if (FAILED(mesh->OptimizeInplace(D3DXMESHOPT_COMPACT | D3DXMESHOPT_VERTEXCACHE, adjacency.data(),
                                         nullptr, nullptr, nullptr)))
            state.SkipWithError("optimisation failed");
        state.PauseTiming();
        mesh->LockIndexBuffer(D3DLOCK_READONLY, &p);
        acmr = meshopt_analyzeVertexCache(reinterpret_cast<uint32_t*>(p), g.indices.size(),
                                          mesh->GetNumVertices(), 16, 0, 0)
                   .acmr;
        mesh->UnlockIndexBuffer();
        state.ResumeTiming();
    }
    mesh->Release();
    state.counters["acmr"] = acmr;
    acmr_results()["optimize"] = acmr;
}

// The peer: the same two steps (cache order of faces, then fetch order of vertices) called directly.
void optimize_meshoptimizer(benchmark::State& state) {
    const GridMesh& g = grid();
    std::vector<uint32_t> indices(g.indices.size());
    std::vector<Vertex> vertices(g.vertices.size());
    double acmr = 0;
    for (auto _ : state) {
        meshopt_optimizeVertexCache(indices.data(), g.indices.data(), g.indices.size(), g.vertices.size());
        meshopt_optimizeVertexFetch(vertices.data(), indices.data(), indices.size(), g.vertices.data(),
                                    g.vertices.size(), sizeof(Vertex));
        state.PauseTiming();
        acmr = meshopt_analyzeVertexCache(indices.data(), indices.size(), vertices.size(), 16, 0, 0).acmr;
        state.ResumeTiming();
    }
    state.counters["acmr"] = acmr;
    acmr_results()["optimize_peer"] = acmr;
}

BENCHMARK(jpeg_texture_qcore)->Unit(benchmark::kMillisecond);
BENCHMARK(jpeg_texture_libjpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(optimize_qcore)->Unit(benchmark::kMillisecond);
BENCHMARK(optimize_meshoptimizer)->Unit(benchmark::kMillisecond);

// Keeps each run's time so that the pairs can be compared at the end; the fastest repetition counts.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
            const double t = r.GetAdjustedCPUTime(); // CPU time leaves out preemption by other work
            const auto [it, added] = times_.try_emplace(r.run_name.function_name, t);
            if (!added) it->second = std::min(it->second, t);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void print_ratios() const {
        std::printf("\nqcore / peer time ratio:\n");
        const struct {
            const char *ours, *peer;
            double target;
        } pairs[] = {{"jpeg_texture_qcore", "jpeg_texture_libjpeg", 1.5},
                     {"optimize_qcore", "optimize_meshoptimizer", 1.2}};
        for (const auto& p : pairs) {
            const auto a = times_.find(p.ours), b = times_.find(p.peer);
            if (a == times_.end() || b == times_.end() || b->second <= 0) continue;
            const double ratio = a->second / b->second;
            std::printf("  %-20s %6.2f (target <= %.1f)%s\n", p.ours, ratio, p.target,
                        ratio <= p.target ? "" : " over target");
        }
        const auto& acmr = acmr_results();
        if (acmr.count("optimize") && acmr.count("optimize_peer"))
            std::printf("  ACMR after optimisation: qcore %.4f, meshoptimizer %.4f\n", acmr.at("optimize"),
                        acmr.at("optimize_peer"));
    }

private:
    std::map<std::string, double> times_;
};

} // namespace

int main(int argc, char** argv) {
    RatioReporter reporter;
    const int rc = qcore::bench::run_and_summarise(argc, argv, reporter);
    std::remove(jpeg_path().c_str());
    return rc;
}
