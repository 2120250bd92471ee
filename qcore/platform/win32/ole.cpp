// The picture loader reads its files with the image decoders of the extension library's stand-in: they
// need no device, and one decoder per file format serves both.
#include <qcore/platform/d3d8/d3dx/image_codec.h>
#include <qcore/platform/win32/gdi.h>
#include <qcore/platform/win32/last_error.h>
#include <qcore/platform/win32/ole.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

struct Block {
    std::vector<uint8_t> bytes;
    int locks = 0;
};

struct GlobalHeap {
    std::mutex mutex;
    std::unordered_map<uintptr_t, Block> blocks;
    uintptr_t next = 1;
};

GlobalHeap& heap() {
    static GlobalHeap* h = new GlobalHeap; // lives as long as the process
    return *h;
}

using Lock = std::lock_guard<std::mutex>;

Block* find_block(GlobalHeap& h, HGLOBAL mem) {
    auto it = h.blocks.find(reinterpret_cast<uintptr_t>(mem));
    return it == h.blocks.end() ? nullptr : &it->second;
}

// Resizes an unlocked block (a locked one keeps its memory where the lock holder sees it).
bool resize_block(HGLOBAL mem, size_t size) {
    GlobalHeap& h = heap();
    Lock lock(h.mutex);
    Block* b = find_block(h, mem);
    if (!b || (b->locks > 0 && size > b->bytes.size())) return false;
    b->bytes.resize(size, 0);
    return true;
}

class HGlobalStream final : public IStream {
public:
    HGlobalStream(HGLOBAL mem, bool owns) : mem_(mem), owns_(owns) {}

    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid != IID_IUnknown && riid != IID_IStream) return E_NOINTERFACE;
        *out = static_cast<IStream*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT Read(void* pv, ULONG cb, ULONG* read) override {
        if (read) *read = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        GlobalHeap& h = heap();
        Lock lock(h.mutex);
        Block* b = find_block(h, mem_);
        if (!b) return E_HANDLE;
        const size_t n = pos_ >= b->bytes.size() ? 0 : std::min<size_t>(cb, b->bytes.size() - pos_);
        if (n) std::memcpy(pv, b->bytes.data() + pos_, n);
        pos_ += n;
        if (read) *read = static_cast<ULONG>(n);
        return n == cb ? S_OK : S_FALSE;
    }
    HRESULT Write(const void* pv, ULONG cb, ULONG* written) override {
        if (written) *written = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        const size_t end = pos_ + cb;
        if (end > GlobalSize(mem_) && !resize_block(mem_, end)) return STG_E_MEDIUMFULL;
        GlobalHeap& h = heap();
        Lock lock(h.mutex);
        Block* b = find_block(h, mem_);
        if (!b) return E_HANDLE;
        if (cb) std::memcpy(b->bytes.data() + pos_, pv, cb);
        pos_ = end;
        if (written) *written = cb;
        return S_OK;
    }
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
        int64_t base = 0;
        if (origin == STREAM_SEEK_CUR)
            base = static_cast<int64_t>(pos_);
        else if (origin == STREAM_SEEK_END)
            base = static_cast<int64_t>(GlobalSize(mem_));
        else if (origin != STREAM_SEEK_SET)
            return STG_E_INVALIDFUNCTION;
        if ((move.QuadPart > 0 && base > std::numeric_limits<int64_t>::max() - move.QuadPart) ||
            base + move.QuadPart < 0)
            return STG_E_INVALIDFUNCTION;
        pos_ = static_cast<size_t>(base + move.QuadPart);
        if (position) position->QuadPart = pos_;
        return S_OK;
    }
    HRESULT SetSize(ULARGE_INTEGER size) override {
        if (size.QuadPart > (uint64_t{1} << 40)) return STG_E_MEDIUMFULL;
        return resize_block(mem_, static_cast<size_t>(size.QuadPart)) ? S_OK : STG_E_MEDIUMFULL;
    }

private:
    ~HGlobalStream() override {
        if (owns_) GlobalFree(mem_);
    }

    std::atomic<ULONG> refs_{1};
    HGLOBAL mem_;
    bool owns_;
    size_t pos_ = 0;
};

class BitmapPicture final : public IPicture {
public:
    BitmapPicture(HBITMAP bitmap, int width, int height) : bitmap_(bitmap), width_(width), height_(height) {}

    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid != IID_IUnknown && riid != IID_IPicture) return E_NOINTERFACE;
        *out = static_cast<IPicture*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT get_Handle(OLE_HANDLE* handle) override {
        if (!handle) return E_POINTER;
        *handle = static_cast<OLE_HANDLE>(reinterpret_cast<uintptr_t>(bitmap_));
        return S_OK;
    }
    HRESULT get_Type(SHORT* type) override {
        if (!type) return E_POINTER;
        *type = PICTYPE_BITMAP;
        return S_OK;
    }
    HRESULT get_Width(OLE_XSIZE_HIMETRIC* width) override {
        if (!width) return E_POINTER;
        *width = himetric(width_);
        return S_OK;
    }
    HRESULT get_Height(OLE_YSIZE_HIMETRIC* height) override {
        if (!height) return E_POINTER;
        *height = himetric(height_);
        return S_OK;
    }

private:
    ~BitmapPicture() override { DeleteObject(bitmap_); }
    static LONG himetric(int pixels) {
        return static_cast<LONG>((static_cast<int64_t>(pixels) * 2540 + 48) / 96);
    }

    std::atomic<ULONG> refs_{1};
    HBITMAP bitmap_;
    int width_, height_;
};

// Decodes a BMP or JPEG file into a new top-down 32-bit DIB section.
HBITMAP decode_picture(const std::vector<uint8_t>& bytes, int& width, int& height) {
    using namespace qcore::detail;
    const uint8_t* data = bytes.data();
    const size_t size = bytes.size();
    DecodedImage image;
    HRESULT hr = D3DXERR_INVALIDDATA;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M')
        hr = decode_bmp(data, size, image, DecodeOptions{});
    else if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
        hr = decode_jpeg(data, size, image, DecodeOptions{});
    ArgbImage argb;
    if (FAILED(hr) || !level_to_argb(image, 0, argb) || argb.width == 0 || argb.height == 0) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = static_cast<LONG>(argb.width);
    info.bmiHeader.biHeight = -static_cast<LONG>(argb.height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    // The pictures are opaque: the alpha byte of a DIB pixel is not colour.
    auto* out = static_cast<uint32_t*>(bits);
    for (size_t i = 0; i < argb.pixels.size(); ++i)
        out[i] = argb.pixels[i] & 0xFFFFFFu;
    width = static_cast<int>(argb.width);
    height = static_cast<int>(argb.height);
    return bitmap;
}

} // namespace

HGLOBAL GlobalAlloc(UINT, SIZE_T bytes) {
    if (bytes > (size_t{1} << 32)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    GlobalHeap& h = heap();
    Lock lock(h.mutex);
    const uintptr_t handle = 0x5000000 + 8 * h.next++;
    h.blocks[handle].bytes.assign(bytes, 0);
    return reinterpret_cast<HGLOBAL>(handle);
}

LPVOID GlobalLock(HGLOBAL mem) {
    GlobalHeap& h = heap();
    Lock lock(h.mutex);
    Block* b = find_block(h, mem);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ++b->locks;
    // A zero-byte block still gives a usable (empty) address.
    if (b->bytes.capacity() == 0) b->bytes.reserve(1);
    return b->bytes.data();
}

BOOL GlobalUnlock(HGLOBAL mem) {
    GlobalHeap& h = heap();
    Lock lock(h.mutex);
    Block* b = find_block(h, mem);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (b->locks == 0) {
        SetLastError(ERROR_NOT_LOCKED);
        return FALSE;
    }
    SetLastError(NO_ERROR);
    return --b->locks > 0 ? TRUE : FALSE;
}

SIZE_T GlobalSize(HGLOBAL mem) {
    GlobalHeap& h = heap();
    Lock lock(h.mutex);
    Block* b = find_block(h, mem);
    return b ? b->bytes.size() : 0;
}

HGLOBAL GlobalFree(HGLOBAL mem) {
    GlobalHeap& h = heap();
    Lock lock(h.mutex);
    if (h.blocks.erase(reinterpret_cast<uintptr_t>(mem)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return mem;
    }
    return nullptr;
}

HRESULT CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, LPSTREAM* ppstm) {
    if (!ppstm) return E_INVALIDARG;
    *ppstm = nullptr;
    bool owns = fDeleteOnRelease != FALSE;
    if (!hGlobal) {
        hGlobal = GlobalAlloc(GMEM_MOVEABLE, 0);
        if (!hGlobal) return E_OUTOFMEMORY;
    } else {
        GlobalHeap& h = heap();
        Lock lock(h.mutex);
        if (!find_block(h, hGlobal)) return E_INVALIDARG;
    }
    *ppstm = new HGlobalStream(hGlobal, owns);
    return S_OK;
}

HRESULT OleLoadPicture(LPSTREAM lpstream, LONG lSize, BOOL, REFIID riid, LPVOID* lplpvObj) {
    if (!lplpvObj) return E_POINTER;
    *lplpvObj = nullptr;
    if (!lpstream || lSize < 0) return E_INVALIDARG;
    if (riid != IID_IPicture && riid != IID_IUnknown) return E_NOINTERFACE;
    // Read in chunks, so that a declared size larger than the stream costs nothing.
    std::vector<uint8_t> bytes;
    uint64_t left = lSize > 0 ? static_cast<uint64_t>(lSize) : UINT64_MAX;
    uint8_t chunk[1 << 16];
    while (left > 0) {
        ULONG read = 0;
        const auto want = static_cast<ULONG>(std::min<uint64_t>(left, sizeof(chunk)));
        if (FAILED(lpstream->Read(chunk, want, &read))) return CTL_E_INVALIDPICTURE;
        bytes.insert(bytes.end(), chunk, chunk + read);
        left -= read;
        if (read < want) break;
    }
    int width = 0, height = 0;
    HBITMAP bitmap = decode_picture(bytes, width, height);
    if (!bitmap) return CTL_E_INVALIDPICTURE;
    *lplpvObj = static_cast<IPicture*>(new BitmapPicture(bitmap, width, height));
    return S_OK;
}
