#pragma once
// Test hooks of the graphics device: call counters per device entry point, chosen failures of device
// creation and reset, the video-memory budget and forced device loss. Hosts never need them.
#include <qcore/platform/d3d8/d3d8.h>

#include <cstdint>
#include <functional>

namespace qcore {

// The device entry points whose calls are counted, one counter per device and entry point.
enum class DeviceCall {
    TestCooperativeLevel,
    GetAvailableTextureMem,
    ResourceManagerDiscardBytes,
    GetDirect3D,
    GetDeviceCaps,
    GetDisplayMode,
    GetCreationParameters,
    Reset,
    Present,
    GetBackBuffer,
    CreateTexture,
    CreateVertexBuffer,
    CreateIndexBuffer,
    CreateRenderTarget,
    CreateDepthStencilSurface,
    CreateImageSurface,
    CopyRects,
    UpdateTexture,
    GetFrontBuffer,
    SetRenderTarget,
    GetRenderTarget,
    GetDepthStencilSurface,
    BeginScene,
    EndScene,
    Clear,
    SetTransform,
    GetTransform,
    MultiplyTransform,
    SetViewport,
    GetViewport,
    SetMaterial,
    GetMaterial,
    SetLight,
    GetLight,
    LightEnable,
    GetLightEnable,
    SetClipPlane,
    GetClipPlane,
    SetRenderState,
    GetRenderState,
    GetTexture,
    SetTexture,
    GetTextureStageState,
    SetTextureStageState,
    ValidateDevice,
    DrawPrimitive,
    DrawIndexedPrimitive,
    DrawPrimitiveUP,
    DrawIndexedPrimitiveUP,
    SetVertexShader,
    GetVertexShader,
    SetStreamSource,
    GetStreamSource,
    SetIndices,
    GetIndices,
    SetPixelShader,
    GetPixelShader,
    Count
};

// The entry point's name ("SetRenderState"), or "" for Count.
const char* device_call_name(DeviceCall call);
// Calls of `call` on `device` since its creation or the last reset_device_call_counts; 0 for a null device.
uint64_t device_call_count(IDirect3DDevice8* device, DeviceCall call);
// Sum over every entry point.
uint64_t device_call_total(IDirect3DDevice8* device);
void reset_device_call_counts(IDirect3DDevice8* device);

// What IDirect3D8::CreateDevice was asked for.
struct CreateDeviceRequest {
    UINT adapter;
    D3DDEVTYPE type;
    HWND focus_window;
    DWORD behavior;
    D3DPRESENT_PARAMETERS pp;
};

// Consulted by every CreateDevice call once the adapter, device type and behaviour flags are known to be
// valid, before the present parameters are checked: a failing result makes the call fail with that result,
// D3D_OK lets it go on. An empty filter (the default) lets every call go on. For example, a card without a
// 24-bit depth buffer:
//     qcore::set_create_device_filter([](const qcore::CreateDeviceRequest& r) {
//         return r.pp.AutoDepthStencilFormat == D3DFMT_D24S8 ? D3DERR_NOTAVAILABLE : D3D_OK;
//     });
using CreateDeviceFilter = std::function<HRESULT(const CreateDeviceRequest&)>;
void set_create_device_filter(CreateDeviceFilter filter);

// Consulted at the start of every IDirect3DDevice8::Reset call the same way. A refused reset leaves the
// device as it was, states and resources included.
using ResetFilter = std::function<HRESULT(IDirect3DDevice8* device, const D3DPRESENT_PARAMETERS& pp)>;
void set_reset_filter(ResetFilter filter);

// Makes the next `count` CreateDevice (or Reset) calls fail with `result` before their filter is asked.
void fail_next_create_device_calls(int count, HRESULT result = D3DERR_NOTAVAILABLE);
void fail_next_reset_calls(int count, HRESULT result = D3DERR_INVALIDCALL);

// The adapter's video memory, shared by every device: default-pool resources, back buffers and depth
// buffers count against it. Default 512 MiB.
void set_video_memory_budget(uint64_t bytes);
uint64_t video_memory_budget();
uint64_t video_memory_in_use();

// Puts the device into the lost state, as taking the display away from it would: Present answers
// D3DERR_DEVICELOST and TestCooperativeLevel D3DERR_DEVICENOTRESET until a successful Reset.
void lose_device(IDirect3DDevice8* device);

// Filters, pending failures and the budget back to their defaults.
void reset_device_hooks();

} // namespace qcore
