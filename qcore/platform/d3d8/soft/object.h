#pragma once
// Lifetime of the objects a software device makes: one alive while the application holds references to it
// or the device has it bound (a pin). Every application reference to a child keeps the device alive too.
#include <qcore/platform/d3d8/d3d8.h>

#include <atomic>
#include <cstdint>

namespace qcore::detail::soft {

class SoftDevice;

// Reference counts may move on another thread (a video stream holding a texture), so they are atomic.
using RefCounter = std::atomic<ULONG>;
// Takes one reference away unless none is left; the count left, or -1 when there was none.
long drop_reference(RefCounter& refs);

// QueryInterface of an object that exposes IUnknown and one interface `iid`.
template <class Interface> HRESULT answer_query(Interface* self, REFIID riid, const IID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown && riid != iid) return E_NOINTERFACE;
    self->AddRef();
    *object = self;
    return S_OK;
}

// Bytes of the adapter's video memory, shared by every device.
bool reserve_video_memory(uint64_t bytes);
void return_video_memory(uint64_t bytes);

class DeviceChild {
public:
    DeviceChild(const DeviceChild&) = delete;
    DeviceChild& operator=(const DeviceChild&) = delete;

    ULONG add_ref();
    ULONG release();
    void pin();
    void unpin();

    SoftDevice& device() const { return *device_; }
    D3DPOOL pool() const { return pool_; }
    ULONG refs() const { return refs_; }
    // Made by the device itself (back buffer, automatic depth buffer) rather than by the application.
    bool implicit() const { return implicit_; }
    // Only managed resources keep a priority; the others answer 0.
    DWORD exchange_priority(DWORD priority);
    DWORD priority() const { return priority_; }

protected:
    // `video_bytes` must have been reserved; the child returns them when it ends.
    DeviceChild(SoftDevice& device, D3DPOOL pool, bool implicit, uint64_t video_bytes);
    virtual ~DeviceChild();

private:
    SoftDevice* device_;
    D3DPOOL pool_;
    bool implicit_;
    uint64_t video_bytes_;
    RefCounter refs_{0};
    ULONG pins_ = 0;
    DWORD priority_ = 0;
};

} // namespace qcore::detail::soft
