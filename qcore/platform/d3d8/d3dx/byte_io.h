#pragma once
// Little-endian reading and writing of file records, bounds-checked on the reading side.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qcore::detail {

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size, size_t pos = 0) : data_(data), size_(size), pos_(pos) {}

    // False once any read ran past the end; values read then are zero.
    bool ok() const { return ok_; }
    size_t pos() const { return pos_; }
    size_t remaining() const { return pos_ <= size_ ? size_ - pos_ : 0; }
    const uint8_t* here() const { return data_ + pos_; }

    uint8_t u8() { return uint8_t(take(1)); }
    uint16_t u16() { return uint16_t(take(2)); }
    uint32_t u32() { return uint32_t(take(4)); }
    int32_t i32() { return int32_t(u32()); }
    void skip(size_t n) {
        if (n > remaining())
            ok_ = false, pos_ = size_;
        else
            pos_ += n;
    }
    void seek(size_t pos) {
        if (pos > size_)
            ok_ = false, pos_ = size_;
        else
            pos_ = pos;
    }

private:
    uint64_t take(size_t n) {
        if (n > remaining()) {
            ok_ = false;
            pos_ = size_;
            return 0;
        }
        uint64_t v = 0;
        for (size_t i = 0; i < n; ++i)
            v |= uint64_t(data_[pos_ + i]) << (8 * i);
        pos_ += n;
        return v;
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_;
    bool ok_ = true;
};

class ByteWriter {
public:
    std::vector<uint8_t> bytes;

    void u8(uint32_t v) { bytes.push_back(uint8_t(v)); }
    void u16(uint32_t v) {
        u8(v);
        u8(v >> 8);
    }
    void u32(uint32_t v) {
        u16(v);
        u16(v >> 16);
    }
    void zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
    void append(const uint8_t* p, size_t n) { bytes.insert(bytes.end(), p, p + n); }
    void put32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = uint8_t(v >> (8 * i));
    }
};

} // namespace qcore::detail
