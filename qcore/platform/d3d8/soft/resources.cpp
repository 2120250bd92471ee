#include <qcore/platform/d3d8/soft/device.h>
#include <qcore/platform/d3d8/soft/formats.h>
#include <qcore/platform/d3d8/soft/resources.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace qcore::detail::soft {
namespace {

template <class T> HRESULT hand_out(T* object, void** out) {
    object->AddRef();
    *out = object;
    return S_OK;
}

HRESULT device_of(DeviceChild& life, IDirect3DDevice8** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = &life.device();
    (*out)->AddRef();
    return D3D_OK;
}

bool dynamic(DWORD usage) {
    return (usage & D3DUSAGE_DYNAMIC) != 0;
}

// DISCARD empties a dynamic resource and cannot be combined with reading it back.
HRESULT check_lock_flags(DWORD flags, DWORD usage) {
    if ((flags & D3DLOCK_DISCARD) && !dynamic(usage)) return D3DERR_INVALIDCALL;
    if ((flags & D3DLOCK_DISCARD) && (flags & D3DLOCK_READONLY)) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

// A sub-rectangle must lie inside the surface; on block formats it must start on a block.
bool valid_lock_rect(const RECT& r, const SurfaceSpec& spec) {
    if (r.left < 0 || r.top < 0 || r.left >= r.right || r.top >= r.bottom) return false;
    if (static_cast<UINT>(r.right) > spec.width || static_cast<UINT>(r.bottom) > spec.height) return false;
    if (!is_compressed(spec.format)) return true;
    const auto edge = [](LONG v, UINT size) { return v % 4 == 0 || static_cast<UINT>(v) == size; };
    return r.left % 4 == 0 && r.top % 4 == 0 && edge(r.right, spec.width) && edge(r.bottom, spec.height);
}

SurfaceSpec level_spec(const SurfaceSpec& top, UINT level) {
    SurfaceSpec s = top;
    s.width = std::max(1u, top.width >> level);
    s.height = std::max(1u, top.height >> level);
    return s;
}

} // namespace

namespace {

// Blocks below this size come and go through calloc alone: the allocator keeps their pages anyway.
constexpr size_t kSpareMinimum = size_t{1} << 20;
// At most this much released memory is kept, in at most this many blocks, the oldest dropped first.
constexpr size_t kSpareBytes = size_t{96} << 20;
constexpr size_t kSpareCount = 8;

struct Spare {
    uint8_t* bytes;
    size_t capacity;
};

struct SpareBlocks {
    std::mutex mutex;
    std::vector<Spare> blocks;
    size_t bytes = 0;

    // A kept block of `size` bytes or a little more; null when there is none.
    Spare take(size_t size) {
        std::lock_guard hold(mutex);
        auto best = blocks.end();
        for (auto it = blocks.begin(); it != blocks.end(); ++it)
            if (it->capacity >= size && it->capacity - size <= size / 8 &&
                (best == blocks.end() || it->capacity < best->capacity))
                best = it;
        if (best == blocks.end()) return {nullptr, 0};
        const Spare found = *best;
        blocks.erase(best);
        bytes -= found.capacity;
        return found;
    }
    void keep(Spare block) {
        std::vector<Spare> dropped;
        {
            std::lock_guard hold(mutex);
            blocks.push_back(block);
            bytes += block.capacity;
            while (bytes > kSpareBytes || blocks.size() > kSpareCount) {
                dropped.push_back(blocks.front());
                bytes -= blocks.front().capacity;
                blocks.erase(blocks.begin());
            }
        }
        for (const Spare& d : dropped)
            std::free(d.bytes);
    }
    void clear() {
        std::vector<Spare> dropped;
        {
            std::lock_guard hold(mutex);
            dropped.swap(blocks);
            bytes = 0;
        }
        for (const Spare& d : dropped)
            std::free(d.bytes);
    }
};

// Never destroyed: resources released while the process ends still give their blocks back.
SpareBlocks& spare_blocks() {
    static SpareBlocks* blocks = new SpareBlocks;
    return *blocks;
}

} // namespace

ZeroedBytes::ZeroedBytes(size_t size) : size_(size), capacity_(size ? size : 1) {
    if (size >= kSpareMinimum) {
        const Spare spare = spare_blocks().take(size);
        if (spare.bytes) {
            bytes_ = spare.bytes;
            capacity_ = spare.capacity;
            std::memset(bytes_, 0, size);
            return;
        }
    }
    bytes_ = static_cast<uint8_t*>(std::calloc(capacity_, 1));
    if (!bytes_) throw std::bad_alloc();
}

ZeroedBytes::~ZeroedBytes() {
    if (!bytes_) return;
    if (capacity_ >= kSpareMinimum && capacity_ <= kSpareBytes)
        spare_blocks().keep({bytes_, capacity_});
    else
        std::free(bytes_);
}

void release_spare_blocks() {
    spare_blocks().clear();
}

uint64_t next_surface_version() {
    static std::atomic<uint64_t> counter{0};
    return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

void sample_grid(D3DMULTISAMPLE_TYPE type, UINT& across, UINT& down) {
    across = type >= D3DMULTISAMPLE_2_SAMPLES ? 2 : 1;
    down = type >= D3DMULTISAMPLE_3_SAMPLES ? 2 : 1;
}

static size_t stored_bytes(const SurfaceSpec& spec) {
    UINT across = 1, down = 1;
    sample_grid(spec.multisample, across, down);
    return image_size(spec.format, spec.width * across, spec.height * down);
}

SurfaceMemory::SurfaceMemory(const SurfaceSpec& spec) : spec_(spec), bytes_(stored_bytes(spec)) {
    sample_grid(spec.multisample, across_, down_);
    pitch_ = row_pitch(spec.format, stored_width());
}

uint32_t SurfaceMemory::resolved_argb(UINT x, UINT y) const {
    const UINT bytes = format_info(spec_.format)->bytes;
    uint32_t sum[4] = {};
    for (UINT sy = 0; sy < down_; ++sy)
        for (UINT sx = 0; sx < across_; ++sx) {
            const uint8_t* p =
                bytes_.data() + size_t{y * down_ + sy} * pitch_ + size_t{x * across_ + sx} * bytes;
            const uint32_t c = pixel_to_argb(spec_.format, p);
            for (int k = 0; k < 4; ++k)
                sum[k] += (c >> (8 * k)) & 0xff;
        }
    const UINT n = across_ * down_;
    uint32_t out = 0;
    for (int k = 0; k < 4; ++k)
        out |= ((sum[k] + n / 2) / n) << (8 * k);
    return out;
}

HRESULT SurfaceMemory::lock(D3DLOCKED_RECT* out, const RECT* rect, DWORD flags) {
    if (!out || !spec_.lockable) return D3DERR_INVALIDCALL;
    if (FAILED(check_lock_flags(flags, spec_.usage))) return D3DERR_INVALIDCALL;
    const RECT whole{0, 0, static_cast<LONG>(spec_.width), static_cast<LONG>(spec_.height)};
    const RECT r = rect ? *rect : whole;
    if (!valid_lock_rect(r, spec_)) return D3DERR_INVALIDCALL;
    const auto* info = format_info(spec_.format);
    const UINT block = is_compressed(spec_.format) ? 4 : 1;
    if (!gate_.begin_write()) return D3DERR_INVALIDCALL;
    locked_ = true;
    out->Pitch = static_cast<INT>(pitch_);
    out->pBits = bytes_.data() + size_t{static_cast<UINT>(r.top) / block} * pitch_ +
                 size_t{static_cast<UINT>(r.left) / block} * info->bytes;
    if (!(flags & D3DLOCK_READONLY)) touch();
    return D3D_OK;
}

HRESULT SurfaceMemory::unlock() {
    if (!locked_.exchange(false)) return D3DERR_INVALIDCALL;
    gate_.end_write();
    return D3D_OK;
}

bool SurfaceGate::begin_write() {
    std::unique_lock hold(mutex_);
    if (writing_ && writer_ == std::this_thread::get_id()) return false;
    ++writers_waiting_;
    changed_.wait(hold, [this] { return !writing_ && readers_ == 0; });
    --writers_waiting_;
    writing_ = true;
    writer_ = std::this_thread::get_id();
    return true;
}

void SurfaceGate::end_write() {
    {
        std::lock_guard hold(mutex_);
        writing_ = false;
    }
    changed_.notify_all();
}

bool SurfaceGate::begin_read() {
    std::unique_lock hold(mutex_);
    if (writing_ && writer_ == std::this_thread::get_id()) return false;
    changed_.wait(hold, [this] { return !writing_ && writers_waiting_ == 0; });
    ++readers_;
    return true;
}

void SurfaceGate::end_read() {
    {
        std::lock_guard hold(mutex_);
        --readers_;
    }
    changed_.notify_all();
}

void SurfaceMemory::describe(D3DSURFACE_DESC& d) const {
    d.Format = spec_.format;
    d.Type = D3DRTYPE_SURFACE;
    d.Usage = spec_.usage;
    d.Pool = spec_.pool;
    d.Size = static_cast<UINT>(bytes_.size());
    d.MultiSampleType = spec_.multisample;
    d.Width = spec_.width;
    d.Height = spec_.height;
}

SoftSurface::SoftSurface(DeviceChild& life, SoftTexture* container, const SurfaceSpec& spec)
    : life_(life), container_(container), memory_(spec) {}

HRESULT SoftSurface::QueryInterface(REFIID riid, void** object) {
    return answer_query<IDirect3DSurface8>(this, riid, IID_IDirect3DSurface8, object);
}

HRESULT SoftSurface::GetDevice(IDirect3DDevice8** device) {
    return device_of(life_, device);
}

HRESULT SoftSurface::GetContainer(REFIID riid, void** container) {
    if (!container) return D3DERR_INVALIDCALL;
    *container = nullptr;
    if (container_) return container_->QueryInterface(riid, container);
    // A surface of its own belongs to the device.
    return life_.device().QueryInterface(riid, container);
}

HRESULT SoftSurface::GetDesc(D3DSURFACE_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    memory_.describe(*desc);
    return D3D_OK;
}

HRESULT SoftSurface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    const HRESULT hr = memory_.lock(locked, rect, flags);
    // Copies the pipeline converted from the old texels are stale from here on.
    if (SUCCEEDED(hr) && container_ && !(flags & D3DLOCK_READONLY))
        life_.device().forget_texture_copies(reinterpret_cast<uintptr_t>(container_));
    return hr;
}

HRESULT SoftSurface::UnlockRect() {
    return memory_.unlock();
}

StandaloneSurface::StandaloneSurface(SoftDevice& device, const SurfaceSpec& spec, bool implicit,
                                     uint64_t video_bytes)
    : DeviceChild(device, spec.pool, implicit, video_bytes), SoftSurface(*this, nullptr, spec) {}

SoftTexture::SoftTexture(SoftDevice& device, const SurfaceSpec& top, UINT levels, uint64_t video_bytes)
    : SoftResource(device, top.pool, false, video_bytes) {
    for (UINT i = 0; i < levels; ++i)
        levels_.push_back(std::make_unique<SoftSurface>(*this, this, level_spec(top, i)));
}

SoftTexture::~SoftTexture() {
    device().forget_texture_copies(reinterpret_cast<uintptr_t>(this));
}

HRESULT SoftTexture::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource8 || riid == IID_IDirect3DBaseTexture8 ||
        riid == IID_IDirect3DTexture8)
        return hand_out(static_cast<IDirect3DTexture8*>(this), object);
    return E_NOINTERFACE;
}

DWORD SoftTexture::SetLOD(DWORD lod) {
    if (pool() != D3DPOOL_MANAGED) return 0;
    return std::exchange(lod_, std::min<DWORD>(lod, GetLevelCount() - 1));
}

HRESULT SoftTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (!desc || level >= levels_.size()) return D3DERR_INVALIDCALL;
    levels_[level]->memory().describe(*desc);
    return D3D_OK;
}

HRESULT SoftTexture::GetSurfaceLevel(UINT level, IDirect3DSurface8** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    *surface = levels_[level].get();
    (*surface)->AddRef();
    return D3D_OK;
}

HRESULT SoftTexture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    return levels_[level]->LockRect(locked, rect, flags);
}

HRESULT SoftTexture::UnlockRect(UINT level) {
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    return levels_[level]->UnlockRect();
}

BufferMemory::BufferMemory(UINT length, DWORD usage, D3DPOOL pool)
    : bytes_(length), usage_(usage), pool_(pool) {}

HRESULT BufferMemory::lock(UINT offset, UINT size, BYTE** data, DWORD flags) {
    if (!data) return D3DERR_INVALIDCALL;
    *data = nullptr;
    if (FAILED(check_lock_flags(flags, usage_))) return D3DERR_INVALIDCALL;
    // Size 0 locks from the offset to the end.
    if (offset > bytes_.size() || (size != 0 && size > bytes_.size() - offset)) return D3DERR_INVALIDCALL;
    ++locks_;
    *data = bytes_.data() + offset;
    return D3D_OK;
}

HRESULT BufferMemory::unlock() {
    if (locks_ == 0) return D3DERR_INVALIDCALL;
    --locks_;
    return D3D_OK;
}

template <class Interface> HRESULT SoftBuffer<Interface>::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource8 || riid == BufferTraits<Interface>::iid)
        return hand_out(static_cast<Interface*>(this), object);
    return E_NOINTERFACE;
}

template <class Interface> HRESULT SoftResource<Interface>::GetDevice(IDirect3DDevice8** device) {
    return device_of(*this, device);
}

template class SoftResource<IDirect3DTexture8>;
template class SoftResource<IDirect3DVertexBuffer8>;
template class SoftResource<IDirect3DIndexBuffer8>;

template <> HRESULT SoftBuffer<IDirect3DVertexBuffer8>::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = {D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, memory_.usage(), pool(), memory_.length(), tag_};
    return D3D_OK;
}

template <> HRESULT SoftBuffer<IDirect3DIndexBuffer8>::GetDesc(D3DINDEXBUFFER_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = {format(), D3DRTYPE_INDEXBUFFER, memory_.usage(), pool(), memory_.length()};
    return D3D_OK;
}

template class SoftBuffer<IDirect3DVertexBuffer8>;
template class SoftBuffer<IDirect3DIndexBuffer8>;

SoftSurface* soft_surface(IDirect3DSurface8* surface) {
    return dynamic_cast<SoftSurface*>(surface);
}
SoftTexture* soft_texture(IDirect3DBaseTexture8* texture) {
    return dynamic_cast<SoftTexture*>(texture);
}
SoftVertexBuffer* soft_vertex_buffer(IDirect3DVertexBuffer8* buffer) {
    return dynamic_cast<SoftVertexBuffer*>(buffer);
}
SoftIndexBuffer* soft_index_buffer(IDirect3DIndexBuffer8* buffer) {
    return dynamic_cast<SoftIndexBuffer*>(buffer);
}

} // namespace qcore::detail::soft
