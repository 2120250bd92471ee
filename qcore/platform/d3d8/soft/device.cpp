#include <qcore/platform/d3d8/soft/device.h>
#include <qcore/platform/d3d8/soft/formats.h>
#include <qcore/platform/d3d8/soft/window_link.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace qcore::detail::soft {
namespace {

constexpr UINT kMaxSurfaceSide = 4096;
constexpr UINT kMaxBackBufferSide = 8192;
// Memory the application's own pools may take in one resource.
constexpr uint64_t kMaxSystemResource = uint64_t{1} << 30;
constexpr DWORD kVertexProcessing = D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                                    D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING;

bool one_bit(DWORD v) {
    return v != 0 && (v & (v - 1)) == 0;
}

HRESULT check_behavior(DWORD behavior) {
    if (!one_bit(behavior & kVertexProcessing)) return D3DERR_INVALIDCALL;
    if ((behavior & D3DCREATE_PUREDEVICE) && !(behavior & D3DCREATE_HARDWARE_VERTEXPROCESSING))
        return D3DERR_INVALIDCALL;
    return D3D_OK;
}

bool valid_pool(D3DPOOL pool) {
    return pool == D3DPOOL_DEFAULT || pool == D3DPOOL_MANAGED || pool == D3DPOOL_SYSTEMMEM;
}

UINT full_chain(UINT width, UINT height) {
    UINT levels = 1;
    for (UINT side = std::max(width, height); side > 1; side >>= 1)
        ++levels;
    return levels;
}

uint64_t stored_size(const SurfaceSpec& spec) {
    UINT across = 1, down = 1;
    sample_grid(spec.multisample, across, down);
    return image_size(spec.format, spec.width * across, spec.height * down);
}

// Default-pool memory comes from the video-memory budget; the other pools from the process.
HRESULT reserve(D3DPOOL pool, uint64_t bytes) {
    if (pool != D3DPOOL_DEFAULT) return bytes <= kMaxSystemResource ? D3D_OK : E_OUTOFMEMORY;
    return reserve_video_memory(bytes) ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
}

uint64_t video_charge(D3DPOOL pool, uint64_t bytes) {
    return pool == D3DPOOL_DEFAULT ? bytes : 0;
}

template <class T> HRESULT hand_out(T* object, T** out) {
    *out = object;
    object->AddRef();
    return D3D_OK;
}

} // namespace

HRESULT complete_present_parameters(D3DPRESENT_PARAMETERS& pp, HWND focus_window) {
    if (!pp.Windowed) return D3DERR_NOTAVAILABLE; // the software device presents into windows only
    if (pp.SwapEffect < D3DSWAPEFFECT_DISCARD || pp.SwapEffect > D3DSWAPEFFECT_COPY_VSYNC)
        return D3DERR_INVALIDCALL;
    if (pp.BackBufferCount > 3) return D3DERR_INVALIDCALL;
    const HWND window = pp.hDeviceWindow ? pp.hDeviceWindow : focus_window;
    if (!window) return D3DERR_INVALIDCALL;
    // The window only gives the default size and receives presents; a handle that names no window is
    // accepted when the size is given, and presents into it show nothing.
    if (pp.BackBufferWidth == 0 || pp.BackBufferHeight == 0) {
        UINT client_width = 0, client_height = 0;
        if (!window_client_size(window, client_width, client_height)) return D3DERR_INVALIDCALL;
        if (pp.BackBufferWidth == 0) pp.BackBufferWidth = std::max(1u, client_width);
        if (pp.BackBufferHeight == 0) pp.BackBufferHeight = std::max(1u, client_height);
    }
    pp.BackBufferCount = std::max(1u, pp.BackBufferCount);
    if (pp.BackBufferWidth > kMaxBackBufferSide || pp.BackBufferHeight > kMaxBackBufferSide)
        return D3DERR_INVALIDCALL;
    const D3DDISPLAYMODE desktop = desktop_mode();
    if (pp.BackBufferFormat == D3DFMT_UNKNOWN) pp.BackBufferFormat = desktop.Format;
    if (!back_buffer_matches_display(desktop.Format, pp.BackBufferFormat)) return D3DERR_NOTAVAILABLE;
    if (pp.EnableAutoDepthStencil && !is_depth_stencil_format(pp.AutoDepthStencilFormat))
        return D3DERR_INVALIDCALL;
    if (pp.MultiSampleType != D3DMULTISAMPLE_NONE) {
        if (pp.SwapEffect != D3DSWAPEFFECT_DISCARD || (pp.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER))
            return D3DERR_INVALIDCALL;
        if (!multisample_supported(pp.BackBufferFormat, pp.MultiSampleType)) return D3DERR_INVALIDCALL;
        if (pp.EnableAutoDepthStencil &&
            !multisample_supported(pp.AutoDepthStencilFormat, pp.MultiSampleType))
            return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT SoftDevice::create(SoftDirect3D& d3d, const CreateDeviceRequest& request, D3DPRESENT_PARAMETERS* pp,
                           IDirect3DDevice8** out) {
    if (FAILED(check_behavior(request.behavior))) return D3DERR_INVALIDCALL;
    if (const HRESULT hr = consult_create_filter(request); FAILED(hr)) return hr;
    D3DPRESENT_PARAMETERS completed = request.pp;
    if (const HRESULT hr = complete_present_parameters(completed, request.focus_window); FAILED(hr))
        return hr;
    auto* device = new SoftDevice(d3d, request);
    if (const HRESULT hr = device->build_swap_chain(completed); FAILED(hr)) {
        device->Release();
        return hr;
    }
    *pp = completed;
    *out = device;
    return D3D_OK;
}

SoftDevice::SoftDevice(SoftDirect3D& d3d, const CreateDeviceRequest& request) : d3d_(&d3d) {
    d3d_->AddRef();
    creation_ = {request.adapter, request.type, request.focus_window, request.behavior};
    fill_caps(request.type, caps_);
    backend_ = make_draw_backend();
    set_default_state(state_, false);
}

SoftDevice::~SoftDevice() {
    release_bindings();
    drop_swap_chain();
    d3d_->Release();
    release_spare_blocks();
}

HRESULT SoftDevice::QueryInterface(REFIID riid, void** object) {
    return answer_query<IDirect3DDevice8>(this, riid, IID_IDirect3DDevice8, object);
}

ULONG SoftDevice::AddRef() {
    return ++refs_;
}

ULONG SoftDevice::Release() {
    const long left = drop_reference(refs_);
    if (left != 0) return left > 0 ? static_cast<ULONG>(left) : 0;
    delete this;
    return 0;
}

void SoftDevice::forget(DeviceChild& child) {
    std::erase(children_, &child);
}

HRESULT SoftDevice::build_swap_chain(const D3DPRESENT_PARAMETERS& pp) {
    SurfaceSpec colour{pp.BackBufferFormat,
                       pp.BackBufferWidth,
                       pp.BackBufferHeight,
                       D3DUSAGE_RENDERTARGET,
                       D3DPOOL_DEFAULT,
                       pp.MultiSampleType,
                       false};
    colour.lockable =
        (pp.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) && pp.MultiSampleType == D3DMULTISAMPLE_NONE;
    for (UINT i = 0; i < pp.BackBufferCount; ++i) {
        const uint64_t bytes = stored_size(colour);
        if (!reserve_video_memory(bytes)) return drop_swap_chain(), D3DERR_OUTOFVIDEOMEMORY;
        auto* surface = new StandaloneSurface(*this, colour, true, bytes);
        surface->pin();
        back_buffers_.push_back(surface);
    }
    if (pp.EnableAutoDepthStencil) {
        const SurfaceSpec depth{pp.AutoDepthStencilFormat,
                                pp.BackBufferWidth,
                                pp.BackBufferHeight,
                                D3DUSAGE_DEPTHSTENCIL,
                                D3DPOOL_DEFAULT,
                                pp.MultiSampleType,
                                pp.AutoDepthStencilFormat == D3DFMT_D16_LOCKABLE};
        const uint64_t bytes = stored_size(depth);
        if (!reserve_video_memory(bytes)) return drop_swap_chain(), D3DERR_OUTOFVIDEOMEMORY;
        auto_depth_ = new StandaloneSurface(*this, depth, true, bytes);
        auto_depth_->pin();
    }
    pp_ = pp;
    desktop_at_reset_ = desktop_mode();
    swap_chain_ok_ = true;
    restore_defaults();
    return D3D_OK;
}

void SoftDevice::drop_swap_chain() {
    rebind<SoftSurface>(render_target_, nullptr);
    rebind<SoftSurface>(depth_target_, nullptr);
    for (auto* surface : std::exchange(back_buffers_, {}))
        surface->unpin();
    if (auto_depth_) std::exchange(auto_depth_, nullptr)->unpin();
    swap_chain_ok_ = false;
}

void SoftDevice::release_bindings() {
    for (auto& texture : state_.textures)
        rebind<SoftTexture>(texture, nullptr);
    for (auto& stream : state_.streams)
        rebind<SoftVertexBuffer>(stream.buffer, nullptr);
    rebind<SoftIndexBuffer>(state_.indices, nullptr);
}

void SoftDevice::restore_defaults() {
    release_bindings();
    set_default_state(state_, auto_depth_ != nullptr);
    rebind<SoftSurface>(render_target_, back_buffers_.empty() ? nullptr : back_buffers_.front());
    rebind<SoftSurface>(depth_target_, auto_depth_);
    full_viewport();
    in_scene_ = false;
}

void SoftDevice::full_viewport() {
    const UINT w = render_target_ ? render_target_->memory().width() : 0;
    const UINT h = render_target_ ? render_target_->memory().height() : 0;
    state_.viewport = {0, 0, w, h, 0.f, 1.f};
}

bool SoftDevice::desktop_changed() const {
    const D3DDISPLAYMODE now = desktop_mode();
    return now.Width != desktop_at_reset_.Width || now.Height != desktop_at_reset_.Height ||
           now.Format != desktop_at_reset_.Format;
}

bool SoftDevice::owns(SoftSurface* surface) const {
    return surface && &surface->life().device() == this;
}

HRESULT SoftDevice::Reset(D3DPRESENT_PARAMETERS* pp) {
    count(DeviceCall::Reset);
    if (!pp) return D3DERR_INVALIDCALL;
    if (const HRESULT hr = consult_reset_filter(this, *pp); FAILED(hr)) return hr;
    D3DPRESENT_PARAMETERS completed = *pp;
    if (const HRESULT hr = complete_present_parameters(completed, creation_.hFocusWindow); FAILED(hr))
        return hr;
    // Default-pool objects the application still holds would outlive the memory they describe.
    for (const DeviceChild* child : children_)
        if (child->refs() > 0 && child->pool() == D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    release_bindings();
    drop_swap_chain();
    if (const HRESULT hr = build_swap_chain(completed); FAILED(hr)) {
        lost_ = true;
        return hr;
    }
    *pp = completed;
    lost_ = false;
    return D3D_OK;
}

HRESULT SoftDevice::TestCooperativeLevel() {
    count(DeviceCall::TestCooperativeLevel);
    if (desktop_changed()) lost_ = true;
    return lost_ || !swap_chain_ok_ ? D3DERR_DEVICENOTRESET : D3D_OK;
}

UINT SoftDevice::GetAvailableTextureMem() {
    count(DeviceCall::GetAvailableTextureMem);
    return static_cast<UINT>(std::min<uint64_t>(available_video_memory(), std::numeric_limits<UINT>::max()));
}

HRESULT SoftDevice::ResourceManagerDiscardBytes(DWORD) {
    count(DeviceCall::ResourceManagerDiscardBytes);
    return D3D_OK; // managed resources live in system memory here; nothing to evict
}

HRESULT SoftDevice::GetDirect3D(IDirect3D8** d3d) {
    count(DeviceCall::GetDirect3D);
    if (!d3d) return D3DERR_INVALIDCALL;
    return hand_out<IDirect3D8>(d3d_, d3d);
}

HRESULT SoftDevice::GetDeviceCaps(D3DCAPS8* caps) {
    count(DeviceCall::GetDeviceCaps);
    if (!caps) return D3DERR_INVALIDCALL;
    *caps = caps_;
    return D3D_OK;
}

HRESULT SoftDevice::GetDisplayMode(D3DDISPLAYMODE* mode) {
    count(DeviceCall::GetDisplayMode);
    if (!mode) return D3DERR_INVALIDCALL;
    *mode = desktop_mode();
    return D3D_OK;
}

HRESULT SoftDevice::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) {
    count(DeviceCall::GetCreationParameters);
    if (!parameters) return D3DERR_INVALIDCALL;
    *parameters = creation_;
    return D3D_OK;
}

HRESULT SoftDevice::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** surface) {
    count(DeviceCall::GetBackBuffer);
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (type != D3DBACKBUFFER_TYPE_MONO || index >= back_buffers_.size()) return D3DERR_INVALIDCALL;
    return hand_out<IDirect3DSurface8>(back_buffers_[index], surface);
}

HRESULT SoftDevice::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                  D3DPOOL pool, IDirect3DTexture8** texture) {
    count(DeviceCall::CreateTexture);
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (width == 0 || height == 0 || width > kMaxSurfaceSide || height > kMaxSurfaceSide)
        return D3DERR_INVALIDCALL;
    if (!is_texture_format(format) || !valid_pool(pool)) return D3DERR_INVALIDCALL;
    if (usage & ~(D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC)) return D3DERR_INVALIDCALL;
    const bool target = usage & D3DUSAGE_RENDERTARGET;
    const bool dynamic = usage & D3DUSAGE_DYNAMIC;
    if (target && (pool != D3DPOOL_DEFAULT || dynamic || !is_render_target_format(format)))
        return D3DERR_INVALIDCALL;
    if (dynamic && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    const UINT chain = full_chain(width, height);
    if (levels > chain) return D3DERR_INVALIDCALL;
    if (levels == 0) levels = chain;
    uint64_t bytes = 0;
    for (UINT i = 0; i < levels; ++i)
        bytes += image_size(format, std::max(1u, width >> i), std::max(1u, height >> i));
    if (const HRESULT hr = reserve(pool, bytes); FAILED(hr)) return hr;
    const SurfaceSpec top{format,
                          width,
                          height,
                          usage,
                          pool,
                          D3DMULTISAMPLE_NONE,
                          !target && (pool != D3DPOOL_DEFAULT || dynamic)};
    return hand_out<IDirect3DTexture8>(new SoftTexture(*this, top, levels, video_charge(pool, bytes)),
                                       texture);
}

HRESULT SoftDevice::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                       IDirect3DVertexBuffer8** buffer) {
    count(DeviceCall::CreateVertexBuffer);
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (length == 0 || !valid_pool(pool)) return D3DERR_INVALIDCALL;
    if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    if (fvf != 0 && length < fvf_stride(fvf)) return D3DERR_INVALIDCALL;
    if (const HRESULT hr = reserve(pool, length); FAILED(hr)) return hr;
    return hand_out<IDirect3DVertexBuffer8>(
        new SoftVertexBuffer(*this, length, usage, fvf, pool, video_charge(pool, length)), buffer);
}

HRESULT SoftDevice::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DIndexBuffer8** buffer) {
    count(DeviceCall::CreateIndexBuffer);
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (length == 0 || !valid_pool(pool)) return D3DERR_INVALIDCALL;
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    if (const HRESULT hr = reserve(pool, length); FAILED(hr)) return hr;
    return hand_out<IDirect3DIndexBuffer8>(
        new SoftIndexBuffer(*this, length, usage, format, pool, video_charge(pool, length)), buffer);
}

HRESULT SoftDevice::make_surface(const SurfaceSpec& spec, IDirect3DSurface8** out) {
    if (spec.width == 0 || spec.height == 0 || spec.width > kMaxSurfaceSide || spec.height > kMaxSurfaceSide)
        return D3DERR_INVALIDCALL;
    const uint64_t bytes = stored_size(spec);
    if (const HRESULT hr = reserve(spec.pool, bytes); FAILED(hr)) return hr;
    return hand_out<IDirect3DSurface8>(
        new StandaloneSurface(*this, spec, false, video_charge(spec.pool, bytes)), out);
}

HRESULT SoftDevice::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                       D3DMULTISAMPLE_TYPE multisample, BOOL lockable,
                                       IDirect3DSurface8** surface) {
    count(DeviceCall::CreateRenderTarget);
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (!is_render_target_format(format) || !multisample_supported(format, multisample))
        return D3DERR_INVALIDCALL;
    if (lockable && multisample != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    return make_surface(
        {format, width, height, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, multisample, lockable != 0}, surface);
}

HRESULT SoftDevice::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                              D3DMULTISAMPLE_TYPE multisample, IDirect3DSurface8** surface) {
    count(DeviceCall::CreateDepthStencilSurface);
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (!is_depth_stencil_format(format)) return D3DERR_INVALIDCALL;
    if (multisample != D3DMULTISAMPLE_NONE && !multisample_supported(format, multisample))
        return D3DERR_INVALIDCALL;
    return make_surface({format, width, height, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, multisample,
                         format == D3DFMT_D16_LOCKABLE},
                        surface);
}

HRESULT SoftDevice::CreateImageSurface(UINT width, UINT height, D3DFORMAT format,
                                       IDirect3DSurface8** surface) {
    count(DeviceCall::CreateImageSurface);
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (!is_texture_format(format)) return D3DERR_INVALIDCALL;
    return make_surface({format, width, height, 0, D3DPOOL_SYSTEMMEM, D3DMULTISAMPLE_NONE, true}, surface);
}

SoftDevice* soft_device(IDirect3DDevice8* device) {
    return dynamic_cast<SoftDevice*>(device);
}

} // namespace qcore::detail::soft
