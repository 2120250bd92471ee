#include <qcore/platform/d3d8/device_hooks.h>
#include <qcore/platform/d3d8/soft/device.h>
#include <qcore/platform/d3d8/soft/object.h>

#include <algorithm>
#include <utility>

namespace qcore {
namespace {

constexpr uint64_t kDefaultBudget = uint64_t{512} << 20;

struct Hooks {
    CreateDeviceFilter create_filter;
    ResetFilter reset_filter;
    int create_failures = 0;
    HRESULT create_failure = D3D_OK;
    int reset_failures = 0;
    HRESULT reset_failure = D3D_OK;
    uint64_t budget = kDefaultBudget;
    uint64_t used = 0;
};

Hooks& hooks() {
    static Hooks h;
    return h;
}

constexpr const char* kCallNames[] = {
    "TestCooperativeLevel",
    "GetAvailableTextureMem",
    "ResourceManagerDiscardBytes",
    "GetDirect3D",
    "GetDeviceCaps",
    "GetDisplayMode",
    "GetCreationParameters",
    "Reset",
    "Present",
    "GetBackBuffer",
    "CreateTexture",
    "CreateVertexBuffer",
    "CreateIndexBuffer",
    "CreateRenderTarget",
    "CreateDepthStencilSurface",
    "CreateImageSurface",
    "CopyRects",
    "UpdateTexture",
    "GetFrontBuffer",
    "SetRenderTarget",
    "GetRenderTarget",
    "GetDepthStencilSurface",
    "BeginScene",
    "EndScene",
    "Clear",
    "SetTransform",
    "GetTransform",
    "MultiplyTransform",
    "SetViewport",
    "GetViewport",
    "SetMaterial",
    "GetMaterial",
    "SetLight",
    "GetLight",
    "LightEnable",
    "GetLightEnable",
    "SetClipPlane",
    "GetClipPlane",
    "SetRenderState",
    "GetRenderState",
    "GetTexture",
    "SetTexture",
    "GetTextureStageState",
    "SetTextureStageState",
    "ValidateDevice",
    "DrawPrimitive",
    "DrawIndexedPrimitive",
    "DrawPrimitiveUP",
    "DrawIndexedPrimitiveUP",
    "SetVertexShader",
    "GetVertexShader",
    "SetStreamSource",
    "GetStreamSource",
    "SetIndices",
    "GetIndices",
    "SetPixelShader",
    "GetPixelShader",
};
static_assert(sizeof(kCallNames) / sizeof(kCallNames[0]) == static_cast<size_t>(DeviceCall::Count));

} // namespace

const char* device_call_name(DeviceCall call) {
    const auto i = static_cast<size_t>(call);
    return i < static_cast<size_t>(DeviceCall::Count) ? kCallNames[i] : "";
}

uint64_t device_call_count(IDirect3DDevice8* device, DeviceCall call) {
    auto* soft = device ? detail::soft::soft_device(device) : nullptr;
    if (!soft || call >= DeviceCall::Count) return 0;
    return soft->call_count(call);
}

uint64_t device_call_total(IDirect3DDevice8* device) {
    uint64_t total = 0;
    for (size_t i = 0; i < static_cast<size_t>(DeviceCall::Count); ++i)
        total += device_call_count(device, static_cast<DeviceCall>(i));
    return total;
}

void reset_device_call_counts(IDirect3DDevice8* device) {
    if (auto* soft = device ? detail::soft::soft_device(device) : nullptr) soft->reset_call_counts();
}

void set_create_device_filter(CreateDeviceFilter filter) {
    hooks().create_filter = std::move(filter);
}
void set_reset_filter(ResetFilter filter) {
    hooks().reset_filter = std::move(filter);
}

void fail_next_create_device_calls(int count, HRESULT result) {
    hooks().create_failures = count;
    hooks().create_failure = result;
}

void fail_next_reset_calls(int count, HRESULT result) {
    hooks().reset_failures = count;
    hooks().reset_failure = result;
}

void set_video_memory_budget(uint64_t bytes) {
    hooks().budget = bytes;
}
uint64_t video_memory_budget() {
    return hooks().budget;
}
uint64_t video_memory_in_use() {
    return hooks().used;
}

void lose_device(IDirect3DDevice8* device) {
    if (auto* soft = device ? detail::soft::soft_device(device) : nullptr) soft->lose();
}

void reset_device_hooks() {
    Hooks& h = hooks();
    h.create_filter = {};
    h.reset_filter = {};
    h.create_failures = h.reset_failures = 0;
    h.budget = kDefaultBudget;
}

namespace detail::soft {

// Pending failures come first, then the filter.
HRESULT consult_create_filter(const CreateDeviceRequest& request) {
    Hooks& h = hooks();
    if (h.create_failures > 0) return --h.create_failures, h.create_failure;
    return h.create_filter ? h.create_filter(request) : D3D_OK;
}

HRESULT consult_reset_filter(IDirect3DDevice8* device, const D3DPRESENT_PARAMETERS& pp) {
    Hooks& h = hooks();
    if (h.reset_failures > 0) return --h.reset_failures, h.reset_failure;
    return h.reset_filter ? h.reset_filter(device, pp) : D3D_OK;
}

uint64_t available_video_memory() {
    return hooks().budget > hooks().used ? hooks().budget - hooks().used : 0;
}

bool reserve_video_memory(uint64_t bytes) {
    Hooks& h = hooks();
    if (bytes > h.budget || h.used > h.budget - bytes) return false;
    h.used += bytes;
    return true;
}

void return_video_memory(uint64_t bytes) {
    hooks().used -= std::min(bytes, hooks().used);
}

} // namespace detail::soft
} // namespace qcore
