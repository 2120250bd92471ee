// Loads arbitrary bytes as a bit-set file.
#include <qcore/geom/bitset.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {
// One scratch file per process, removed at exit.
struct Scratch {
    std::string path = "/tmp/qcore_bitset_fuzz_" + std::to_string(getpid()) + ".bin";
    ~Scratch() { unlink(path.c_str()); }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Scratch scratch;
    const std::string& path = scratch.path;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    const bool written = std::fwrite(data, 1, size, f) == size;
    std::fclose(f);
    if (!written) return 0;
    CBitset bits(5, 1);
    if (bits.LoadFrom(path.c_str())) {
        const int n = bits.GetSize();
        if (bits.GetBufLenInByte() != (n > 0 ? (n / 32 + 1) * 4 : 0)) __builtin_trap();
        if (bits.GetSetCount() > n && n > 0) __builtin_trap();
        if (n > 0) bits.Flip(n - 1);
    }
    return 0;
}
