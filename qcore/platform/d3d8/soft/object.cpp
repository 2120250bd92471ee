#include <qcore/platform/d3d8/soft/device.h>
#include <qcore/platform/d3d8/soft/object.h>

#include <utility>

namespace qcore::detail::soft {

DeviceChild::DeviceChild(SoftDevice& device, D3DPOOL pool, bool implicit, uint64_t video_bytes)
    : device_(&device), pool_(pool), implicit_(implicit), video_bytes_(video_bytes) {
    device.adopt(*this);
}

DeviceChild::~DeviceChild() {
    device_->forget(*this);
    return_video_memory(video_bytes_);
}

long drop_reference(RefCounter& refs) {
    ULONG now = refs.load();
    do {
        if (now == 0) return -1;
    } while (!refs.compare_exchange_weak(now, now - 1));
    return static_cast<long>(now - 1);
}

ULONG DeviceChild::add_ref() {
    const ULONG before = refs_.fetch_add(1);
    if (before == 0) device_->AddRef();
    return before + 1;
}

ULONG DeviceChild::release() {
    const long left = drop_reference(refs_); // a release too many must not destroy a bound object
    if (left != 0) return left > 0 ? static_cast<ULONG>(left) : 0;
    SoftDevice* device = device_;
    if (pins_ == 0) delete this;
    device->Release(); // last: ending the device may end this object if it is still bound
    return 0;
}

DWORD DeviceChild::exchange_priority(DWORD priority) {
    if (pool_ != D3DPOOL_MANAGED) return 0;
    return std::exchange(priority_, priority);
}

void DeviceChild::pin() {
    ++pins_;
}

void DeviceChild::unpin() {
    if (pins_ == 0) return;
    if (--pins_ == 0 && refs_ == 0) delete this;
}

} // namespace qcore::detail::soft
