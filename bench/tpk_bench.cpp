// Node-tree files against the floor (the same bytes through fwrite/fread, headers through pread) and
// against HDF5: 10,000 directories of 10 small values each plus 100 buffers of 1 MB. Also the heap an
// open tree of only the small values holds, against the file's size.
#include <qcore/data/pak_file.h>

#include <benchmark/benchmark.h>
#include <hdf5.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <malloc.h>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kDirs = 10000;
constexpr int kValues = 10;
constexpr int kBuffers = 100;
constexpr size_t kBufferSize = size_t{1} << 20;
constexpr WORD kValueTypes[kValues] = {NODE_INT,    NODE_FLOAT, NODE_VEC,   NODE_D3DXCOLOR, NODE_STR32,
                                       NODE_MATRIX, NODE_QUAT,  NODE_CRECT, NODE_CSIZE,     NODE_TIME};

struct Workload {
    std::string folder;
    std::vector<std::string> dir_names;
    std::vector<std::string> value_names;
    std::vector<std::string> buffer_names;
    std::vector<BYTE> value_bytes = std::vector<BYTE>(260, 0);
    std::vector<BYTE> buffer = std::vector<BYTE>(kBufferSize);

    Workload() {
        char tmpl[] = "/tmp/tpk_bench_XXXXXX";
        folder = std::string(mkdtemp(tmpl)) + "/";
        for (int d = 0; d < kDirs; ++d)
            dir_names.push_back("dir" + std::to_string(d));
        for (int v = 0; v < kValues; ++v)
            value_names.push_back("value" + std::to_string(v));
        for (int b = 0; b < kBuffers; ++b)
            buffer_names.push_back("buffer" + std::to_string(b));
        for (size_t i = 0; i < value_bytes.size(); ++i)
            value_bytes[i] = static_cast<BYTE>('a' + i % 26);
        value_bytes[31] = 0;
        for (size_t i = 0; i < buffer.size(); ++i)
            buffer[i] = static_cast<BYTE>(i * 31);
    }
    ~Workload() { std::filesystem::remove_all(folder); }
    std::string file(const char* name) const { return folder + name; }
};

Workload& work() {
    static Workload w;
    return w;
}

// Mean wall time of each repetition of a phase; the ratio table takes their median.
std::map<std::string, std::vector<double>> g_seconds;

// Runs one phase per iteration and keeps its mean wall time for the ratio table.
void ensure_inputs();

template <class Fn> void timed(benchmark::State& state, const char* key, Fn&& fn) {
    if (std::strncmp(key, "write", 5) != 0) ensure_inputs();
    double total = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        fn();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    g_seconds[key].push_back(total / static_cast<double>(state.iterations()));
}

// ----- tpk ---------------------------------------------------------------------------------------------

void write_values(CPakNode* root) {
    Workload& w = work();
    for (const std::string& d : w.dir_names) {
        CPakNode* dir = root->create_dir_node(d.c_str());
        for (int v = 0; v < kValues; ++v)
            dir->create_data_node(w.value_names[v].c_str(), kValueTypes[v], w.value_bytes.data());
    }
}

// The file of many small nodes whose memory use in the open tree is measured.
void write_small_pak() {
    CPakFile pak;
    pak.create(work().file("small.tpk").c_str());
    write_values(pak.get_root());
}

void write_pak() {
    Workload& w = work();
    CPakFile pak;
    pak.create(w.file("tree.tpk").c_str());
    CPakNode* root = pak.get_root();
    write_values(root);
    CPakNode* bufs = root->create_dir_node("buffers");
    for (const std::string& b : w.buffer_names)
        bufs->create_buf_node(b.c_str(), w.buffer.data(), static_cast<int>(kBufferSize), 0);
    pak.close_file();
}

size_t read_pak_values(CPakFile& pak) {
    Workload& w = work();
    size_t bytes = 0;
    BYTE value[260];
    CPakNode* root = pak.get_root();
    for (const std::string& d : w.dir_names) {
        CPakNode* dir = root->find(d.c_str());
        for (int v = 0; v < kValues; ++v) {
            if (dir->find_data(w.value_names[v].c_str(), kValueTypes[v], value, 1)) bytes += 1;
        }
    }
    std::vector<BYTE> buf;
    CPakNode* bufs = root->find("buffers");
    for (const std::string& b : w.buffer_names) {
        bufs->find(b.c_str())->get_buffer(buf);
        bytes += buf.size();
    }
    return bytes;
}

// ----- the floor: the same bytes through stdio and pread ------------------------------------------------

void put_record(std::FILE* f, const char* name, int id, int pid, WORD type, int length, const void* data) {
    BYTE h[64] = {};
    std::memcpy(h, name, std::strlen(name));
    std::memcpy(h + 48, &id, 4);
    std::memcpy(h + 52, &pid, 4);
    std::memcpy(h + 56, &type, 2);
    std::memcpy(h + 60, &length, 4);
    std::fwrite(h, 1, 64, f);
    if (length > 0) std::fwrite(data, 1, static_cast<size_t>(length), f);
}

void write_floor() {
    Workload& w = work();
    std::FILE* f = std::fopen(w.file("floor.bin").c_str(), "wb");
    std::fwrite("tpk\0"
                "1.0\0",
                1, 8, f);
    int id = 1;
    put_record(f, "root", id, 0, NODE_DIR, 0, nullptr);
    for (const std::string& d : w.dir_names) {
        const int dir_id = ++id;
        put_record(f, d.c_str(), dir_id, 1, NODE_DIR, 0, nullptr);
        for (int v = 0; v < kValues; ++v)
            put_record(f, w.value_names[v].c_str(), ++id, dir_id, kValueTypes[v],
                       CPakNode::get_type_length(kValueTypes[v]), w.value_bytes.data());
    }
    const int bufs_id = ++id;
    put_record(f, "buffers", bufs_id, 1, NODE_DIR, 0, nullptr);
    for (const std::string& b : w.buffer_names)
        put_record(f, b.c_str(), ++id, bufs_id, NODE_BUF, static_cast<int>(kBufferSize), w.buffer.data());
    std::fclose(f);
}

size_t pread_headers(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    size_t count = 0;
    BYTE h[64];
    for (off_t at = 8; ::pread(fd, h, 64, at) == 64; ++count) {
        int32_t length;
        std::memcpy(&length, h + 60, 4);
        at += 64 + length;
    }
    ::close(fd);
    return count;
}

size_t fread_all(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::vector<BYTE> all(std::filesystem::file_size(path));
    const size_t got = std::fread(all.data(), 1, all.size(), f);
    std::fclose(f);
    benchmark::DoNotOptimize(all.data());
    return got;
}

// ----- HDF5: groups for directories, byte datasets for values and buffers ------------------------------

void h5_put(hid_t group, const char* name, const void* data, size_t size) {
    const hsize_t dims[1] = {size};
    const hid_t space = H5Screate_simple(1, dims, nullptr);
    const hid_t set = H5Dcreate2(group, name, H5T_NATIVE_UCHAR, space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    H5Dwrite(set, H5T_NATIVE_UCHAR, H5S_ALL, H5S_ALL, H5P_DEFAULT, data);
    H5Dclose(set);
    H5Sclose(space);
}

void write_hdf5() {
    Workload& w = work();
    const hid_t file = H5Fcreate(w.file("tree.h5").c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
    for (const std::string& d : w.dir_names) {
        const hid_t g = H5Gcreate2(file, d.c_str(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
        for (int v = 0; v < kValues; ++v)
            h5_put(g, w.value_names[v].c_str(), w.value_bytes.data(),
                   static_cast<size_t>(CPakNode::get_type_length(kValueTypes[v])));
        H5Gclose(g);
    }
    const hid_t g = H5Gcreate2(file, "buffers", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    for (const std::string& b : w.buffer_names)
        h5_put(g, b.c_str(), w.buffer.data(), kBufferSize);
    H5Gclose(g);
    H5Fclose(file);
}

herr_t h5_count(hid_t, const char*, const H5L_info_t*, void* data) {
    ++*static_cast<size_t*>(data);
    return 0;
}

// Opening without reading data: list every object, as the tree of headers does.
size_t h5_open_list(hid_t file) {
    size_t count = 0;
    H5Lvisit(file, H5_INDEX_NAME, H5_ITER_NATIVE, h5_count, &count);
    return count;
}

size_t h5_read(hid_t file, const std::string& path, std::vector<BYTE>& out) {
    const hid_t set = H5Dopen2(file, path.c_str(), H5P_DEFAULT);
    const hid_t space = H5Dget_space(set);
    out.resize(static_cast<size_t>(H5Sget_simple_extent_npoints(space)));
    H5Dread(set, H5T_NATIVE_UCHAR, H5S_ALL, H5S_ALL, H5P_DEFAULT, out.data());
    H5Sclose(space);
    H5Dclose(set);
    return out.size();
}

size_t h5_read_all(hid_t file) {
    Workload& w = work();
    size_t bytes = 0;
    std::vector<BYTE> out;
    for (const std::string& d : w.dir_names)
        for (int v = 0; v < kValues; ++v)
            bytes += h5_read(file, d + "/" + w.value_names[v], out);
    for (const std::string& b : w.buffer_names)
        bytes += h5_read(file, "buffers/" + b, out);
    return bytes;
}

// ----- phases ------------------------------------------------------------------------------------------

// Reading phases may run alone (--benchmark_filter): make their input first.
void ensure_inputs() {
    if (!std::filesystem::exists(work().file("tree.tpk"))) write_pak();
    if (!std::filesystem::exists(work().file("floor.bin"))) write_floor();
    if (!std::filesystem::exists(work().file("tree.h5"))) write_hdf5();
    if (!std::filesystem::exists(work().file("small.tpk"))) write_small_pak();
}

std::map<std::string, double> g_memory;

// Heap bytes in use, those of blocks the allocator maps on their own included.
size_t heap_in_use() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// Heap bytes the open tree of the small-node file holds, over the file's size.
double memory_per_file_byte(int preload) {
    const std::string path = work().file("small.tpk");
    const size_t before = heap_in_use();
    double ratio = 0;
    {
        CPakFile pak;
        pak.open(path.c_str(), preload);
        CPakNode* root = pak.get_root();
        benchmark::DoNotOptimize(root->find("dir1"));
        ratio = static_cast<double>(heap_in_use() - before) /
                static_cast<double>(std::filesystem::file_size(path));
    }
    return ratio;
}

// Bytes this process has read through system calls so far.
double bytes_read() {
    std::FILE* io = std::fopen("/proc/self/io", "r");
    unsigned long long rchar = 0;
    if (io) {
        if (std::fscanf(io, "rchar: %llu", &rchar) != 1) rchar = 0;
        std::fclose(io);
    }
    return static_cast<double>(rchar);
}

size_t open_tpk(int preload, bool read);

void BM_Memory_SmallNodes(benchmark::State& s) {
    ensure_inputs();
    const double before = bytes_read();
    open_tpk(0, false);
    g_memory["open read MB"] = (bytes_read() - before) / 1e6;
    g_memory["file MB"] = static_cast<double>(std::filesystem::file_size(work().file("tree.tpk"))) / 1e6;
    for (auto _ : s) {
        g_memory["memory open"] = memory_per_file_byte(0);
        g_memory["memory preload"] = memory_per_file_byte(1);
    }
    s.counters["open_x_file"] = g_memory["memory open"];
    s.counters["preload_x_file"] = g_memory["memory preload"];
}

void BM_Write_Tpk(benchmark::State& s) {
    timed(s, "write tpk", write_pak);
}
void BM_Write_Floor(benchmark::State& s) {
    timed(s, "write floor", write_floor);
}
void BM_Write_HDF5(benchmark::State& s) {
    timed(s, "write hdf5", write_hdf5);
}

// Opens the tree (and with read, looks up every node and reads every value); the tree dies with it.
size_t open_tpk(int preload, bool read) {
    CPakFile pak;
    pak.open(work().file("tree.tpk").c_str(), preload);
    return read ? read_pak_values(pak) : 0;
}

template <class Fn> size_t with_h5(Fn&& fn) {
    const hid_t file = H5Fopen(work().file("tree.h5").c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
    const size_t n = fn(file);
    H5Fclose(file);
    return n;
}

void BM_Open_Tpk(benchmark::State& s) {
    timed(s, "open tpk", [] { benchmark::DoNotOptimize(open_tpk(0, false)); });
}
void BM_Open_PreadHeaders(benchmark::State& s) {
    timed(s, "open floor", [] { benchmark::DoNotOptimize(pread_headers(work().file("floor.bin"))); });
}
void BM_Open_HDF5(benchmark::State& s) {
    timed(s, "open hdf5", [] { benchmark::DoNotOptimize(with_h5(h5_open_list)); });
}

void BM_OpenPreload_Tpk(benchmark::State& s) {
    timed(s, "preload tpk", [] { benchmark::DoNotOptimize(open_tpk(1, false)); });
}
void BM_OpenPreload_Fread(benchmark::State& s) {
    timed(s, "preload floor", [] { benchmark::DoNotOptimize(fread_all(work().file("floor.bin"))); });
}
void BM_OpenPreload_HDF5(benchmark::State& s) {
    timed(s, "preload hdf5", [] {
        benchmark::DoNotOptimize(with_h5([](hid_t f) { return h5_open_list(f) + h5_read_all(f); }));
    });
}

void BM_LookupRead_Tpk(benchmark::State& s) {
    timed(s, "read tpk", [] { benchmark::DoNotOptimize(open_tpk(0, true)); });
}
void BM_LookupReadPreloaded_Tpk(benchmark::State& s) {
    timed(s, "read preloaded tpk", [] { benchmark::DoNotOptimize(open_tpk(1, true)); });
}
void BM_LookupRead_HDF5(benchmark::State& s) {
    timed(s, "read hdf5", [] { benchmark::DoNotOptimize(with_h5(h5_read_all)); });
}

#define PHASE(fn, n) BENCHMARK(fn)->Unit(benchmark::kMillisecond)->Iterations(n)->UseRealTime()
PHASE(BM_Write_Tpk, 5);
PHASE(BM_Write_Floor, 5);
PHASE(BM_Write_HDF5, 1);
PHASE(BM_Open_Tpk, 10);
PHASE(BM_Open_PreadHeaders, 10);
PHASE(BM_Open_HDF5, 2);
PHASE(BM_OpenPreload_Tpk, 5);
PHASE(BM_OpenPreload_Fread, 5);
PHASE(BM_OpenPreload_HDF5, 1);
PHASE(BM_LookupRead_Tpk, 5);
PHASE(BM_LookupReadPreloaded_Tpk, 5);
PHASE(BM_LookupRead_HDF5, 1);
PHASE(BM_Memory_SmallNodes, 1);

void print_ratios() {
    auto at = [](const char* k) {
        if (!g_seconds.count(k)) return 0.0;
        std::vector<double> v = g_seconds[k];
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    auto row = [&](const char* phase, const char* ours, const char* floor, const char* target) {
        const double t = at(ours), f = at(floor), h = at((std::string(phase) + " hdf5").c_str());
        if (t <= 0) return;
        std::printf(
            "%-22s tpk %9.2f ms   floor %9.2f ms  %6.2fx (target %s)   hdf5 %10.2f ms  %6.1fx slower\n", ours,
            t * 1e3, f * 1e3, f > 0 ? t / f : 0.0, target, h * 1e3, h > 0 ? h / t : 0.0);
    };
    std::printf("\nratios (tpk / floor; hdf5 / tpk, target >= 10x)\n");
    const struct {
        const char* phase;
        const char* ours;
        const char* floor;
        const char* target;
    } rows[] = {{"write", "write tpk", "write floor", "<= 1.5"},
                {"open", "open tpk", "open floor", "<= 1.5"},
                {"preload", "preload tpk", "preload floor", "<= 1.5"},
                {"read", "read tpk", "preload floor", "-"},
                {"read", "read preloaded tpk", "preload floor", "<= 1.2"}};
    for (const auto& r : rows)
        row(r.phase, r.ours, r.floor, r.target);
    if (g_memory.count("open read MB"))
        std::printf("open tpk               reads %.1f MB of the %.1f MB file without preload\n",
                    g_memory["open read MB"], g_memory["file MB"]);
    for (const char* k : {"memory open", "memory preload"})
        if (g_memory.count(k))
            std::printf("%-22s heap of the open tree of %d small nodes: %.2fx the file size (target < 2)\n",
                        k, kDirs * (kValues + 1), g_memory[k]);
}

} // namespace

int main(int argc, char** argv) {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    print_ratios();
    return 0;
}
