#include <qcore/geom/bitset.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

static_assert(std::endian::native == std::endian::little, "the file form is the words as kept in memory");

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Windows separators name folders on this system too.
std::string native_path(const char* path) {
    std::string p = path ? path : "";
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

bool write_all(FILE* f, const void* data, size_t bytes) {
    return bytes == 0 || std::fwrite(data, 1, bytes, f) == bytes;
}

bool read_all(FILE* f, void* data, size_t bytes) {
    return bytes == 0 || std::fread(data, 1, bytes, f) == bytes;
}

// Bytes left from the current position to the end of a regular file; -1 when unknown.
long long bytes_left(FILE* f) {
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    const long pos = std::ftell(f);
    return pos < 0 ? -1 : static_cast<long long>(st.st_size) - pos;
}

// A new file next to target, with the permissions a new file gets; its name goes to temp.
int create_temp_beside(const std::string& target, std::string& temp) {
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = target + "." + std::to_string(getpid()) + "." + std::to_string(serial++) + ".tmp";
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

} // namespace

CBitset::CBitset(int size, int fill) {
    Resize(size, fill);
}

int CBitset::operator=(const CBitset& other) {
    size_ = other.size_;
    words_ = other.words_;
    return GetBufLenInByte();
}

void CBitset::Resize(int size, int fill) {
    if (size != size_) {
        size_ = size;
        words_.assign(word_count(size), 0);
    }
    ResetAll(fill);
}

void CBitset::ResetAll(int fill) {
    for (DWORD& w : words_)
        w = fill ? ~DWORD(0) : 0;
}

void CBitset::FlipAll() {
    if (size_ <= 0) return;
    const size_t full = static_cast<size_t>(size_) / 32;
    for (size_t i = 0; i < full; ++i)
        words_[i] = ~words_[i];
    if (const int rest = size_ % 32) words_[full] ^= (DWORD(1) << rest) - 1;
}

int CBitset::GetSetCount() const {
    if (size_ <= 0) return 0;
    const size_t full = static_cast<size_t>(size_) / 32;
    int count = 0;
    for (size_t i = 0; i < full; ++i)
        count += std::popcount(words_[i]);
    if (const int rest = size_ % 32) count += std::popcount(words_[full] & ((DWORD(1) << rest) - 1));
    return count;
}

int CBitset::HaveSet() const {
    for (DWORD w : words_)
        if (w) return 1;
    return 0;
}

int CBitset::SaveTo(const char* path) const {
    const std::string target = native_path(path);
    if (target.empty()) return 0;
    std::string temp;
    const int fd = create_temp_beside(target, temp);
    if (fd < 0) return 0;
    File f(fdopen(fd, "wb"));
    if (!f) {
        close(fd);
        unlink(temp.c_str());
        return 0;
    }
    const int32_t count = size_;
    bool ok = write_all(f.get(), &count, sizeof(count)) &&
              write_all(f.get(), words_.data(), words_.size() * sizeof(DWORD)) && std::fflush(f.get()) == 0 &&
              fsync(fileno(f.get())) == 0;
    ok = std::fclose(f.release()) == 0 && ok;
    ok = ok && std::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok ? 1 : 0;
}

int CBitset::LoadFrom(const char* path) {
    File f(std::fopen(native_path(path).c_str(), "rb"));
    if (!f) return 0;
    int32_t count = 0;
    if (!read_all(f.get(), &count, sizeof(count)) || count < 0) return 0;
    const size_t bytes = word_count(count) * sizeof(DWORD);
    // A count the file cannot hold is refused before anything is allocated.
    const long long left = bytes_left(f.get());
    if (bytes > 0 && (left < 0 || static_cast<unsigned long long>(left) < bytes)) return 0;
    std::vector<DWORD> words(word_count(count));
    if (!read_all(f.get(), words.data(), bytes)) return 0;
    size_ = count;
    words_ = std::move(words);
    return 1;
}
