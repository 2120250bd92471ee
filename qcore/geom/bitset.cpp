#include <qcore/geom/bitset.h>

#include <qcore/platform/win32/file.h>

#include <bit>
#include <string>

static_assert(std::endian::native == std::endian::little, "the file form is the words as kept in memory");

namespace {

// Reads exactly `bytes` or reports a short file.
bool read_all(CFile& f, void* data, size_t bytes) {
    return bytes == 0 || f.Read(data, static_cast<UINT>(bytes)) == bytes;
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
    qcore::SafeFileWriter out;
    if (!path || !*path || !out.open(path)) return 0;
    try {
        const int32_t count = size_;
        out.file().Write(&count, sizeof(count));
        out.file().Write(words_.data(), static_cast<UINT>(words_.size() * sizeof(DWORD)));
    } catch (const CFileException&) {
        out.abandon();
        return 0;
    }
    return out.commit() ? 1 : 0;
}

int CBitset::LoadFrom(const char* path) {
    CFile f;
    if (!path || !f.Open(path, CFile::modeRead | CFile::typeBinary)) return 0;
    try {
        int32_t count = 0;
        // A count of 0 or less is an empty set without words, as Resize makes it and SaveTo writes it.
        if (!read_all(f, &count, sizeof(count))) return 0;
        const size_t bytes = word_count(count) * sizeof(DWORD);
        // A count the file cannot hold is refused before anything is allocated.
        if (f.GetLength() - f.GetPosition() < bytes) return 0;
        std::vector<DWORD> words(word_count(count));
        if (!read_all(f, words.data(), bytes)) return 0;
        size_ = count;
        words_ = std::move(words);
        return 1;
    } catch (const CFileException&) {
        return 0;
    }
}
