#pragma once
// A fixed-size array of flag bits with whole-set operations and a small binary file form:
// a little-endian int32 bit count followed by the words as kept in memory.
#include <qcore/platform/win32/types.h>

#include <cstdint>
#include <vector>

class CBitset {
public:
    CBitset(int size = 0, int fill = 0);
    CBitset(const CBitset&) = default;
    ~CBitset() = default;
    // Copies other's size and bits; returns the byte length of the words.
    int operator=(const CBitset& other);

    // Reallocates when size changes; in every case then sets every bit to fill.
    void Resize(int size, int fill);
    // Every word, spare bits included, to all ones or all zeros.
    void ResetAll(int fill);
    void Set(int i) { words_[i >> 5] |= mask(i); }
    void UnSet(int i) { words_[i >> 5] &= ~mask(i); }
    // Returns 1 when the bit is now set.
    int Flip(int i) {
        words_[i >> 5] ^= mask(i);
        return IsSet(i) ? 1 : 0;
    }
    // The bit's mask value (1 << (i % 32)), not 1: bit 31 reads as a negative int.
    int IsSet(int i) const { return static_cast<int>(words_[i >> 5] & mask(i)); }
    // Toggles bits 0 … size − 1; the spare bits stay.
    void FlipAll();
    int GetSetCount() const;
    // 1 when any word is non-zero, spare bits included.
    int HaveSet() const;
    int GetSize() const { return size_; }
    DWORD* GetBits() { return words_.empty() ? nullptr : words_.data(); }
    const DWORD* GetBits() const { return words_.empty() ? nullptr : words_.data(); }
    int GetBufLenInByte() const { return static_cast<int>(words_.size() * sizeof(DWORD)); }

    // Both return 1 on success and 0 when the file cannot be opened, written or read in full.
    // Saving replaces the file only once the new one is complete; a failed load leaves the set as it was.
    int SaveTo(const char* path) const;
    int LoadFrom(const char* path);

private:
    static DWORD mask(int i) { return DWORD(1) << (i & 31); }
    // size / 32 + 1 words for a positive size, none otherwise: always at least one spare bit.
    static size_t word_count(int size) { return size > 0 ? static_cast<size_t>(size) / 32 + 1 : 0; }

    std::vector<DWORD> words_;
    int size_ = 0;
};
