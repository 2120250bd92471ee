// Saving and loading a 1,000,000-triangle mesh through the node tree against writing and reading the same
// vertex and index bytes with fwrite/fread (into recycled heap memory, and into fresh pages as a first
// load gets them).
#include <qcore/mesh/buffer_proxy.h>
#include <qcore/mesh/mesh_utl.h>
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/window.h>

#include "headless_device.h"
#include "ratio_reporter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <sys/mman.h>
#include <vector>

namespace {

constexpr DWORD kFaces = 1000000;
constexpr DWORD kColumns = 1001; // a grid of 1001 × 501 vertices gives 1,000,000 triangles
constexpr DWORD kRows = 501;
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

struct Fixture {
    std::string folder;
    IDirect3DDevice8* device = nullptr;
    CMyComPtr<ID3DXMesh> mesh;
    std::vector<BYTE> vb, ib;

    Fixture() {
        char tmpl[] = "/tmp/mesh_bench_XXXXXX";
        folder = std::string(mkdtemp(tmpl)) + "/";
        device = qcore::bench::headless_device();
        D3DXCreateMeshFVF(kFaces, kColumns * kRows, D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, kFvf, device,
                          mesh.out());
        {
            CVbProxy v(mesh.get());
            for (int i = 0; i < v.get_ver_count(); ++i) {
                const float x = static_cast<float>(static_cast<DWORD>(i) % kColumns);
                const float z = static_cast<float>(static_cast<DWORD>(i) / kColumns);
                v.Position(i) = VEC(x, std::sin(x * 0.1f) * std::cos(z * 0.1f), z);
                v.Normal(i) = VEC(0, 1, 0);
                v.Tex1(i) = D3DXVECTOR2(x / kColumns, z / kRows);
            }
            vb.assign(v.p(), v.p() + static_cast<size_t>(v.get_ver_count()) * v.get_fvf_size());
        }
        CIbProxy p(mesh.get());
        DWORD f = 0;
        for (DWORD r = 0; r + 1 < kRows; ++r)
            for (DWORD c = 0; c + 1 < kColumns; ++c) {
                const DWORD a = r * kColumns + c, b = a + 1, d = a + kColumns, e = d + 1;
                const DWORD tri[6] = {a, d, b, b, d, e};
                for (int k = 0; k < 6; ++k)
                    p.set(static_cast<int>(3 * f + static_cast<DWORD>(k)), tri[k]);
                f += 2;
            }
        ib.assign(p.p(), p.p() + size_t{kFaces} * 12);
    }
    ~Fixture() {
        mesh.reset();
        std::filesystem::remove_all(folder);
    }
    std::string file(const char* name) const { return folder + name; }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_MeshUtlSave(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        CPakFile pak;
        pak.create(f.file("mesh.tpk").c_str());
        MESH_UTL::save_xmesh_to_node(f.mesh, pak.get_root(), "mesh");
        pak.close_file();
    }
}

void BM_FwriteSave(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        FILE* out = std::fopen(f.file("mesh.bin").c_str(), "wb");
        std::fwrite(f.vb.data(), 1, f.vb.size(), out);
        std::fwrite(f.ib.data(), 1, f.ib.size(), out);
        std::fclose(out);
    }
}

void BM_MeshUtlLoad(benchmark::State& state) {
    Fixture& f = fixture();
    {
        CPakFile pak;
        pak.create(f.file("mesh.tpk").c_str());
        MESH_UTL::save_xmesh_to_node(f.mesh, pak.get_root(), "mesh");
    }
    for (auto _ : state) {
        CPakFile pak;
        pak.open(f.file("mesh.tpk").c_str(), 0);
        CMyComPtr<ID3DXMesh> m = MESH_UTL::load_xmesh_from_node(f.device, pak.get_root()->find("mesh"));
        if (!m) state.SkipWithError("load failed");
    }
}

void write_floor_file(const Fixture& f) {
    FILE* out = std::fopen(f.file("mesh.bin").c_str(), "wb");
    std::fwrite(f.vb.data(), 1, f.vb.size(), out);
    std::fwrite(f.ib.data(), 1, f.ib.size(), out);
    std::fclose(out);
}

bool read_floor_file(const Fixture& f, BYTE* vb, BYTE* ib) {
    FILE* in = std::fopen(f.file("mesh.bin").c_str(), "rb");
    const bool ok = std::fread(vb, 1, f.vb.size(), in) == f.vb.size() &&
                    std::fread(ib, 1, f.ib.size(), in) == f.ib.size();
    std::fclose(in);
    return ok;
}

// The bytes into buffers that the allocator hands back warm from the previous iteration.
void BM_FreadLoad(benchmark::State& state) {
    Fixture& f = fixture();
    write_floor_file(f);
    for (auto _ : state) {
        std::vector<BYTE> vb(f.vb.size()), ib(f.ib.size());
        if (!read_floor_file(f, vb.data(), ib.data())) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(vb.data());
    }
}

// The bytes into memory fresh from the kernel, as a mesh loaded for the first time gets: every page is
// faulted in and cleared on first touch, which a loop over recycled heap memory never pays.
void BM_FreadLoadFreshPages(benchmark::State& state) {
    Fixture& f = fixture();
    write_floor_file(f);
    const size_t bytes = f.vb.size() + f.ib.size();
    for (auto _ : state) {
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) {
            state.SkipWithError("mmap failed");
            break;
        }
        BYTE* vb = static_cast<BYTE*>(p);
        if (!read_floor_file(f, vb, vb + f.vb.size())) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(vb);
        munmap(p, bytes);
    }
}

BENCHMARK(BM_MeshUtlSave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FwriteSave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshUtlLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreadLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreadLoadFreshPages)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return qcore::bench::run_with_pairs(argc, argv,
                                        {{"BM_MeshUtlSave", "BM_FwriteSave"},
                                         {"BM_MeshUtlLoad", "BM_FreadLoad"},
                                         {"BM_MeshUtlLoad", "BM_FreadLoadFreshPages"}});
}
