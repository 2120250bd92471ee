#pragma once
// Surfaces, textures, vertex and index buffers of the software device.
#include <qcore/platform/d3d8/soft/object.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

namespace qcore::detail::soft {

class SoftTexture;

// What a surface is and whether the application may lock it.
struct SurfaceSpec {
    D3DFORMAT format = D3DFMT_UNKNOWN;
    UINT width = 0;
    UINT height = 0;
    DWORD usage = 0;
    D3DPOOL pool = D3DPOOL_DEFAULT;
    D3DMULTISAMPLE_TYPE multisample = D3DMULTISAMPLE_NONE;
    bool lockable = false;
};

// Samples per pixel across and down for a multisample type: supersampled storage.
void sample_grid(D3DMULTISAMPLE_TYPE type, UINT& across, UINT& down);

// A value no surface version had before.
uint64_t next_surface_version();

// Orders application locks of a surface against the device reading it: a lock waits until draws reading
// the surface are done, and a draw waits until a lock held on another thread ends (a video stream fills its
// texture on its own thread while the device draws from it). Waiting writers go before new readers.
class SurfaceGate {
public:
    // False when the calling thread holds the lock already.
    bool begin_write();
    void end_write();
    // False, with nothing to end, when the calling thread itself holds the lock: it reads its own pixels.
    bool begin_read();
    void end_read();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int readers_ = 0;
    int writers_waiting_ = 0;
    bool writing_ = false;
    std::thread::id writer_;
};

// Zero-filled bytes. Small ones come from calloc, which takes fresh pages from the system without writing
// them. Large ones are kept a while after release and handed out again, cleared: a resource made anew at
// about the same size (a reloaded mesh, the next capture) then reuses pages the process already has,
// which is cheaper than faulting in fresh ones. Throws std::bad_alloc as a vector would.
class ZeroedBytes {
public:
    ZeroedBytes() = default;
    explicit ZeroedBytes(size_t size);
    ~ZeroedBytes();
    ZeroedBytes(ZeroedBytes&& o) noexcept
        : bytes_(std::exchange(o.bytes_, nullptr)), size_(std::exchange(o.size_, 0)),
          capacity_(std::exchange(o.capacity_, 0)) {}
    ZeroedBytes& operator=(ZeroedBytes&& o) noexcept {
        std::swap(bytes_, o.bytes_);
        std::swap(size_, o.size_);
        std::swap(capacity_, o.capacity_);
        return *this;
    }
    uint8_t* data() { return bytes_; }
    const uint8_t* data() const { return bytes_; }
    size_t size() const { return size_; }

private:
    uint8_t* bytes_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// Frees the large blocks kept for reuse.
void release_spare_blocks();

// Pixels of one surface. A multisampled surface stores width x samples-across by height x samples-down.
class SurfaceMemory {
public:
    explicit SurfaceMemory(const SurfaceSpec& spec);

    const SurfaceSpec& spec() const { return spec_; }
    D3DFORMAT format() const { return spec_.format; }
    UINT width() const { return spec_.width; }
    UINT height() const { return spec_.height; }
    UINT samples_across() const { return across_; }
    UINT samples_down() const { return down_; }
    UINT stored_width() const { return spec_.width * across_; }
    UINT stored_height() const { return spec_.height * down_; }
    UINT pitch() const { return pitch_; }
    uint8_t* bits() { return bytes_.data(); }
    const uint8_t* bits() const { return bytes_.data(); }
    size_t size() const { return bytes_.size(); }
    bool locked() const { return locked_.load(); }
    // Changes with every write through a lock, clear or copy, so that derived data (decoded blocks) can be
    // kept until the pixels change. Drawing into the surface must call touch() too.
    // Versions are unique across all surfaces of the process, so they also tell surfaces apart.
    uint64_t version() const { return version_.load(); }
    void touch() { version_.store(next_surface_version()); }

    // Pixel (x, y) as ARGB: the average of its samples on a multisampled surface. Uncompressed colour
    // formats only.
    uint32_t resolved_argb(UINT x, UINT y) const;

    HRESULT lock(D3DLOCKED_RECT* out, const RECT* rect, DWORD flags);
    HRESULT unlock();
    void describe(D3DSURFACE_DESC& desc) const;
    SurfaceGate& gate() { return gate_; }

private:
    SurfaceSpec spec_;
    UINT across_ = 1;
    UINT down_ = 1;
    UINT pitch_ = 0;
    ZeroedBytes bytes_;
    // A video stream fills its texture through locks on its own thread while the device draws.
    std::atomic<bool> locked_{false};
    std::atomic<uint64_t> version_{next_surface_version()};
    SurfaceGate gate_;
};

// The surface interface over surface memory; its lifetime belongs to `life` (itself or its texture).
class SoftSurface : public IDirect3DSurface8 {
public:
    SoftSurface(DeviceChild& life, SoftTexture* container, const SurfaceSpec& spec);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return life_.add_ref(); }
    ULONG Release() override { return life_.release(); }
    HRESULT GetDevice(IDirect3DDevice8** device) override;
    HRESULT GetContainer(REFIID riid, void** container) override;
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    DeviceChild& life() { return life_; }
    SurfaceMemory& memory() { return memory_; }
    const SurfaceMemory& memory() const { return memory_; }

private:
    DeviceChild& life_;
    SoftTexture* container_;
    SurfaceMemory memory_;
};

// A surface of its own: render target, depth-stencil surface, image surface, back buffer.
class StandaloneSurface final : public DeviceChild, public SoftSurface {
public:
    StandaloneSurface(SoftDevice& device, const SurfaceSpec& spec, bool implicit, uint64_t video_bytes);
};

// What every resource interface answers the same way: references, device, priority.
template <class Interface> class SoftResource : public DeviceChild, public Interface {
public:
    ULONG AddRef() override { return add_ref(); }
    ULONG Release() override { return release(); }
    HRESULT GetDevice(IDirect3DDevice8** device) override;
    DWORD SetPriority(DWORD priority) override { return exchange_priority(priority); }
    DWORD GetPriority() override { return priority(); }
    void PreLoad() override {}

protected:
    using DeviceChild::DeviceChild;
};

class SoftTexture final : public SoftResource<IDirect3DTexture8> {
public:
    // `levels` is the final level count (0 already resolved to the full chain).
    SoftTexture(SoftDevice& device, const SurfaceSpec& top, UINT levels, uint64_t video_bytes);
    ~SoftTexture() override;

    HRESULT QueryInterface(REFIID riid, void** object) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD SetLOD(DWORD lod) override;
    DWORD GetLOD() override { return lod_; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface8** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;
    HRESULT AddDirtyRect(const RECT*) override { return D3D_OK; }

    SoftSurface* level(UINT index) { return index < levels_.size() ? levels_[index].get() : nullptr; }
    D3DFORMAT format() const { return levels_.front()->memory().format(); }
    DWORD usage() const { return levels_.front()->memory().spec().usage; }

private:
    std::vector<std::unique_ptr<SoftSurface>> levels_;
    DWORD lod_ = 0;
};

// Bytes of a vertex or index buffer and its lock rules.
class BufferMemory {
public:
    BufferMemory(UINT length, DWORD usage, D3DPOOL pool);
    HRESULT lock(UINT offset, UINT size, BYTE** data, DWORD flags);
    HRESULT unlock();
    const uint8_t* bits() const { return bytes_.data(); }
    UINT length() const { return static_cast<UINT>(bytes_.size()); }
    DWORD usage() const { return usage_; }
    D3DPOOL pool() const { return pool_; }
    bool locked() const { return locks_ > 0; }

private:
    ZeroedBytes bytes_;
    DWORD usage_;
    D3DPOOL pool_;
    int locks_ = 0;
};

template <class Interface> struct BufferTraits;
template <> struct BufferTraits<IDirect3DVertexBuffer8> {
    using Desc = D3DVERTEXBUFFER_DESC;
    static constexpr D3DRESOURCETYPE type = D3DRTYPE_VERTEXBUFFER;
    static constexpr const IID& iid = IID_IDirect3DVertexBuffer8;
};
template <> struct BufferTraits<IDirect3DIndexBuffer8> {
    using Desc = D3DINDEXBUFFER_DESC;
    static constexpr D3DRESOURCETYPE type = D3DRTYPE_INDEXBUFFER;
    static constexpr const IID& iid = IID_IDirect3DIndexBuffer8;
};

// A vertex buffer (its tag is the FVF) or an index buffer (its tag is the index format).
template <class Interface> class SoftBuffer final : public SoftResource<Interface> {
public:
    using Desc = typename BufferTraits<Interface>::Desc;

    SoftBuffer(SoftDevice& device, UINT length, DWORD usage, DWORD tag, D3DPOOL pool, uint64_t video_bytes)
        : SoftResource<Interface>(device, pool, false, video_bytes), memory_(length, usage, pool), tag_(tag) {
    }

    HRESULT QueryInterface(REFIID riid, void** object) override;
    D3DRESOURCETYPE GetType() override { return BufferTraits<Interface>::type; }
    HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) override {
        return memory_.lock(offset, size, data, flags);
    }
    HRESULT Unlock() override { return memory_.unlock(); }
    HRESULT GetDesc(Desc* desc) override;

    const BufferMemory& memory() const { return memory_; }
    DWORD fvf() const { return tag_; }
    D3DFORMAT format() const { return static_cast<D3DFORMAT>(tag_); }

private:
    BufferMemory memory_;
    DWORD tag_;
};

using SoftVertexBuffer = SoftBuffer<IDirect3DVertexBuffer8>;
using SoftIndexBuffer = SoftBuffer<IDirect3DIndexBuffer8>;

// The software object behind an interface pointer of this device family, or null for anything else.
SoftSurface* soft_surface(IDirect3DSurface8* surface);
SoftTexture* soft_texture(IDirect3DBaseTexture8* texture);
SoftVertexBuffer* soft_vertex_buffer(IDirect3DVertexBuffer8* buffer);
SoftIndexBuffer* soft_index_buffer(IDirect3DIndexBuffer8* buffer);

inline DeviceChild& life_of(SoftSurface* surface) {
    return surface->life();
}
inline DeviceChild& life_of(DeviceChild* child) {
    return *child;
}

// Points a device binding at `next`, pinning what is bound and unpinning what no longer is.
template <class T> void rebind(T*& slot, T* next) {
    if (next) life_of(next).pin();
    T* old = std::exchange(slot, next);
    if (old) life_of(old).unpin();
}

} // namespace qcore::detail::soft
