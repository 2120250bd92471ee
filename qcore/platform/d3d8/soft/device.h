#pragma once
// The software rendering device: creation, reset and loss, resources, states, frames and the draw calls
// that feed its pipeline.
#include <qcore/platform/d3d8/device_hooks.h>
#include <qcore/platform/d3d8/soft/adapter.h>
#include <qcore/platform/d3d8/soft/draw_backend.h>
#include <qcore/platform/d3d8/soft/resources.h>
#include <qcore/platform/d3d8/soft/state.h>

#include <array>
#include <memory>
#include <vector>

namespace qcore::detail::soft {

class SoftDevice final : public IDirect3DDevice8 {
public:
    // Checks the request, makes the device and its implicit surfaces; the result holds one reference.
    static HRESULT create(SoftDirect3D& d3d, const CreateDeviceRequest& request, D3DPRESENT_PARAMETERS* pp,
                          IDirect3DDevice8** out);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT TestCooperativeLevel() override;
    UINT GetAvailableTextureMem() override;
    HRESULT ResourceManagerDiscardBytes(DWORD bytes) override;
    HRESULT GetDirect3D(IDirect3D8** d3d) override;
    HRESULT GetDeviceCaps(D3DCAPS8* caps) override;
    HRESULT GetDisplayMode(D3DDISPLAYMODE* mode) override;
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* pp) override;
    HRESULT Present(const RECT* source, const RECT* dest, HWND window, const RGNDATA* dirty) override;
    HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** surface) override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture8** texture) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer8** buffer) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer8** buffer) override;
    HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multisample,
                               BOOL lockable, IDirect3DSurface8** surface) override;
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                      D3DMULTISAMPLE_TYPE multisample, IDirect3DSurface8** surface) override;
    HRESULT CreateImageSurface(UINT width, UINT height, D3DFORMAT format,
                               IDirect3DSurface8** surface) override;
    HRESULT CopyRects(IDirect3DSurface8* source, const RECT* rects, UINT count, IDirect3DSurface8* dest,
                      const POINT* points) override;
    HRESULT UpdateTexture(IDirect3DBaseTexture8* source, IDirect3DBaseTexture8* dest) override;
    HRESULT GetFrontBuffer(IDirect3DSurface8* dest) override;
    HRESULT SetRenderTarget(IDirect3DSurface8* target, IDirect3DSurface8* depth) override;
    HRESULT GetRenderTarget(IDirect3DSurface8** target) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface8** depth) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z,
                  DWORD stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE type, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE type, D3DMATRIX* matrix) override;
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE type, const D3DMATRIX* matrix) override;
    HRESULT SetViewport(const D3DVIEWPORT8* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT8* viewport) override;
    HRESULT SetMaterial(const D3DMATERIAL8* material) override;
    HRESULT GetMaterial(D3DMATERIAL8* material) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT8* light) override;
    HRESULT GetLight(DWORD index, D3DLIGHT8* light) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;
    HRESULT GetLightEnable(DWORD index, BOOL* enable) override;
    HRESULT SetClipPlane(DWORD index, const float* plane) override;
    HRESULT GetClipPlane(DWORD index, float* plane) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture8** texture) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT ValidateDevice(DWORD* passes) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT min_index, UINT vertices, UINT start_index,
                                 UINT count) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT min_index, UINT vertices, UINT count,
                                   const void* indices, D3DFORMAT index_format, const void* data,
                                   UINT stride) override;
    HRESULT SetVertexShader(DWORD handle) override;
    HRESULT GetVertexShader(DWORD* handle) override;
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) override;
    HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer8** buffer, UINT* stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer8* buffer, UINT base_vertex) override;
    HRESULT GetIndices(IDirect3DIndexBuffer8** buffer, UINT* base_vertex) override;
    HRESULT SetPixelShader(DWORD handle) override;
    HRESULT GetPixelShader(DWORD* handle) override;

    // Bookkeeping for children and the test hooks.
    void adopt(DeviceChild& child) { children_.push_back(&child); }
    void forget(DeviceChild& child);
    // Lets the pipeline drop what it keeps for a texture that no longer exists or is being rewritten.
    void forget_texture_copies(uint64_t id) {
        if (backend_) backend_->forget_texture(id);
    }
    uint64_t call_count(DeviceCall call) const { return calls_[static_cast<size_t>(call)]; }
    void reset_call_counts() { calls_.fill(0); }
    void lose() { lost_ = true; }
    const DeviceState& state() const { return state_; }

private:
    SoftDevice(SoftDirect3D& d3d, const CreateDeviceRequest& request);
    ~SoftDevice();

    void count(DeviceCall call) { ++calls_[static_cast<size_t>(call)]; }
    // A pure device does not answer state queries.
    bool pure() const { return (creation_.BehaviorFlags & D3DCREATE_PUREDEVICE) != 0; }
    HRESULT build_swap_chain(const D3DPRESENT_PARAMETERS& pp);
    void drop_swap_chain();
    void restore_defaults();
    void release_bindings();
    bool desktop_changed() const;
    bool owns(SoftSurface* surface) const;
    void full_viewport();
    HRESULT make_surface(const SurfaceSpec& spec, IDirect3DSurface8** out);
    HRESULT draw(const DrawCall& call);
    // What the drawing pipeline says of the current state (ValidateDevice).
    HRESULT validate_draw_state();
    HRESULT check_draw(D3DPRIMITIVETYPE type, UINT count) const;
    void clear_rect(const RECT& rect, DWORD flags, D3DCOLOR colour, float z, DWORD stencil);

    RefCounter refs_{1};
    SoftDirect3D* d3d_;
    D3DDEVICE_CREATION_PARAMETERS creation_{};
    D3DPRESENT_PARAMETERS pp_{};
    D3DDISPLAYMODE desktop_at_reset_{};
    D3DCAPS8 caps_{};
    DeviceState state_;
    std::unique_ptr<DrawBackend> backend_;
    std::array<uint64_t, static_cast<size_t>(DeviceCall::Count)> calls_{};
    std::vector<DeviceChild*> children_;
    std::vector<StandaloneSurface*> back_buffers_;
    StandaloneSurface* auto_depth_ = nullptr;
    SoftSurface* render_target_ = nullptr;
    SoftSurface* depth_target_ = nullptr;
    std::vector<uint32_t> front_; // the last presented frame, XRGB
    UINT front_width_ = 0;
    UINT front_height_ = 0;
    bool in_scene_ = false;
    bool lost_ = false;
    bool swap_chain_ok_ = false;
};

SoftDevice* soft_device(IDirect3DDevice8* device);

// Checks present parameters for a windowed device and fills in what the caller may leave zero.
HRESULT complete_present_parameters(D3DPRESENT_PARAMETERS& pp, HWND focus_window);

} // namespace qcore::detail::soft

namespace qcore::detail::soft {
// The test hooks' verdict on a creation or reset about to happen: D3D_OK lets it go on.
HRESULT consult_create_filter(const CreateDeviceRequest& request);
HRESULT consult_reset_filter(IDirect3DDevice8* device, const D3DPRESENT_PARAMETERS& pp);
uint64_t available_video_memory();
} // namespace qcore::detail::soft
