#include <qcore/platform/d3d8/soft/adapter.h>
#include <qcore/platform/d3d8/soft/device.h>
#include <qcore/platform/d3d8/soft/formats.h>
#include <qcore/platform/d3d8/soft/object.h>
#include <qcore/platform/d3d8/soft/texture_stages.h>
#include <qcore/platform/d3d8/soft/window_link.h>

#include <cstring>

namespace qcore::detail::soft {
namespace {

// The mode list: the desktop mode first, then common sizes in the desktop format.
constexpr UINT kModeSizes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}, {1600, 1200}};
constexpr UINT kModeCount = sizeof(kModeSizes) / sizeof(kModeSizes[0]);

bool desktop_format(D3DFORMAT f) {
    return f == D3DFMT_R5G6B5 || f == D3DFMT_X1R5G5B5 || f == D3DFMT_X8R8G8B8 || f == D3DFMT_R8G8B8 ||
           f == D3DFMT_P8;
}

HRESULT check_adapter(UINT adapter, D3DDEVTYPE type) {
    return adapter == D3DADAPTER_DEFAULT && valid_device_type(type) ? D3D_OK : D3DERR_INVALIDCALL;
}

bool usage_fits(DWORD usage, D3DRESOURCETYPE resource, D3DFORMAT format) {
    if (usage & D3DUSAGE_DEPTHSTENCIL) return resource == D3DRTYPE_SURFACE && is_depth_stencil_format(format);
    if (usage & D3DUSAGE_RENDERTARGET) return is_render_target_format(format);
    if (resource == D3DRTYPE_VERTEXBUFFER) return format == D3DFMT_VERTEXDATA;
    if (resource == D3DRTYPE_INDEXBUFFER) return format == D3DFMT_INDEX16 || format == D3DFMT_INDEX32;
    if (resource == D3DRTYPE_TEXTURE) return is_texture_format(format);
    if (resource == D3DRTYPE_SURFACE) return format_info(format) != nullptr;
    return false; // no volume or cube textures
}

} // namespace

bool valid_device_type(D3DDEVTYPE type) {
    return type == D3DDEVTYPE_HAL || type == D3DDEVTYPE_REF || type == D3DDEVTYPE_SW;
}

bool back_buffer_matches_display(D3DFORMAT display, D3DFORMAT back_buffer) {
    if (!is_back_buffer_format(back_buffer)) return false;
    if (back_buffer == display) return true;
    // An alpha channel the desktop does not show is allowed; other conversions are not.
    return (display == D3DFMT_X8R8G8B8 && back_buffer == D3DFMT_A8R8G8B8) ||
           (display == D3DFMT_X1R5G5B5 && back_buffer == D3DFMT_A1R5G5B5);
}

bool multisample_supported(D3DFORMAT format, D3DMULTISAMPLE_TYPE multisample) {
    if (multisample != D3DMULTISAMPLE_NONE && multisample != D3DMULTISAMPLE_2_SAMPLES &&
        multisample != D3DMULTISAMPLE_4_SAMPLES)
        return false;
    return format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5 || format == D3DFMT_A1R5G5B5 ||
           format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8 || format == D3DFMT_D16 ||
           format == D3DFMT_D24S8 || format == D3DFMT_D24X8 || format == D3DFMT_D32;
}

void fill_caps(D3DDEVTYPE type, D3DCAPS8& c) {
    c = {};
    c.DeviceType = type;
    c.AdapterOrdinal = D3DADAPTER_DEFAULT;
    c.Caps2 = D3DCAPS2_CANRENDERWINDOWED | D3DCAPS2_DYNAMICTEXTURES;
    c.PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
    c.DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                D3DDEVCAPS_TEXTURESYSTEMMEMORY | D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_CANRENDERAFTERFLIP;
    // Everything claimed here is drawn by the pipeline (states it refuses are left out).
    c.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW |
                          D3DPMISCCAPS_CULLCCW | D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_BLENDOP |
                          D3DPMISCCAPS_CLIPTLVERTS;
    c.RasterCaps = D3DPRASTERCAPS_DITHER | D3DPRASTERCAPS_PAT | D3DPRASTERCAPS_ZTEST |
                   D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_MIPMAPLODBIAS |
                   D3DPRASTERCAPS_ZBIAS | D3DPRASTERCAPS_FOGRANGE | D3DPRASTERCAPS_WFOG | D3DPRASTERCAPS_ZFOG;
    c.ZCmpCaps = c.AlphaCmpCaps = 0xff; // every comparison function
    c.SrcBlendCaps = c.DestBlendCaps = 0x1fff;
    c.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_ALPHAGOURAUDBLEND | D3DPSHADECAPS_FOGGOURAUD;
    c.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_PROJECTED |
                    D3DPTEXTURECAPS_MIPMAP;
    c.TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
                          D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    c.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                           D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_INDEPENDENTUV |
                           D3DPTADDRESSCAPS_MIRRORONCE;
    c.LineCaps =
        D3DLINECAPS_TEXTURE | D3DLINECAPS_ZTEST | D3DLINECAPS_BLEND | D3DLINECAPS_ALPHACMP | D3DLINECAPS_FOG;
    c.MaxTextureWidth = c.MaxTextureHeight = 4096;
    c.MaxTextureRepeat = 8192;
    c.MaxTextureAspectRatio = 4096;
    c.MaxAnisotropy = 1;
    c.MaxVertexW = 1e10f;
    c.GuardBandLeft = c.GuardBandTop = -8192.f;
    c.GuardBandRight = c.GuardBandBottom = 8192.f;
    c.StencilCaps = 0xff;
    c.FVFCaps = 8 | D3DFVFCAPS_PSIZE;
    c.TextureOpCaps = 0;
    for (uint32_t op = top::disable; op <= top::lerp; ++op)
        if (texture_op_supported(op)) c.TextureOpCaps |= 1u << (op - 1);
    c.MaxTextureBlendStages = QCORE_D3D_STAGE_COUNT;
    c.MaxSimultaneousTextures = QCORE_D3D_STAGE_COUNT;
    c.VertexProcessingCaps = D3DVTXPCAPS_TEXGEN | D3DVTXPCAPS_MATERIALSOURCE7 |
                             D3DVTXPCAPS_DIRECTIONALLIGHTS | D3DVTXPCAPS_POSITIONALLIGHTS |
                             D3DVTXPCAPS_LOCALVIEWER;
    c.MaxActiveLights = kMaxActiveLights;
    c.MaxUserClipPlanes = kClipPlanes;
    c.MaxVertexBlendMatrices = 4;
    c.MaxPointSize = 64.f;
    c.MaxPrimitiveCount = 0xfffff;
    c.MaxVertexIndex = 0xffffff;
    c.MaxStreams = kStreams;
    c.MaxStreamStride = 255;
}

HRESULT SoftDirect3D::QueryInterface(REFIID riid, void** object) {
    return answer_query<IDirect3D8>(this, riid, IID_IDirect3D8, object);
}

ULONG SoftDirect3D::AddRef() {
    return ++refs_;
}

ULONG SoftDirect3D::Release() {
    const long left = drop_reference(refs_);
    if (left != 0) return left > 0 ? static_cast<ULONG>(left) : 0;
    delete this;
    return 0;
}

HRESULT SoftDirect3D::GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER8* id) {
    if (adapter != D3DADAPTER_DEFAULT || !id) return D3DERR_INVALIDCALL;
    *id = {};
    std::strcpy(id->Driver, "qcore_soft");
    std::strcpy(id->Description, "qcore software rasteriser");
    id->DriverVersion.QuadPart = (LONGLONG{8} << 48) | (LONGLONG{1} << 32);
    id->DeviceIdentifier = {0x71c0e5f7, 0x5a0d, 0x4d0b, {0x8e, 0x21, 0x0b, 0x5d, 0x33, 0x7a, 0x90, 0x18}};
    return D3D_OK;
}

UINT SoftDirect3D::GetAdapterModeCount(UINT adapter) {
    return adapter == D3DADAPTER_DEFAULT ? 1 + kModeCount : 0;
}

HRESULT SoftDirect3D::EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* out) {
    if (adapter != D3DADAPTER_DEFAULT || !out || mode >= GetAdapterModeCount(adapter))
        return D3DERR_INVALIDCALL;
    *out = desktop_mode();
    if (mode == 0) return D3D_OK;
    out->Width = kModeSizes[mode - 1][0];
    out->Height = kModeSizes[mode - 1][1];
    return D3D_OK;
}

HRESULT SoftDirect3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
    if (adapter != D3DADAPTER_DEFAULT || !mode) return D3DERR_INVALIDCALL;
    *mode = desktop_mode();
    return D3D_OK;
}

HRESULT SoftDirect3D::CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT display, D3DFORMAT back_buffer,
                                      BOOL windowed) {
    if (FAILED(check_adapter(adapter, type))) return D3DERR_INVALIDCALL;
    if (!windowed || !desktop_format(display)) return D3DERR_NOTAVAILABLE;
    return back_buffer_matches_display(display, back_buffer) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT SoftDirect3D::CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapter_format, DWORD usage,
                                        D3DRESOURCETYPE resource, D3DFORMAT format) {
    if (FAILED(check_adapter(adapter, type))) return D3DERR_INVALIDCALL;
    if (!desktop_format(adapter_format)) return D3DERR_NOTAVAILABLE;
    return usage_fits(usage, resource, format) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT SoftDirect3D::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format,
                                                 BOOL windowed, D3DMULTISAMPLE_TYPE multisample) {
    if (FAILED(check_adapter(adapter, type))) return D3DERR_INVALIDCALL;
    if (!windowed && multisample != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
    return multisample_supported(format, multisample) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT SoftDirect3D::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapter_format,
                                             D3DFORMAT render_target, D3DFORMAT depth_stencil) {
    if (FAILED(check_adapter(adapter, type))) return D3DERR_INVALIDCALL;
    if (!desktop_format(adapter_format) || !is_render_target_format(render_target))
        return D3DERR_NOTAVAILABLE;
    return is_depth_stencil_format(depth_stencil) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT SoftDirect3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) {
    if (FAILED(check_adapter(adapter, type)) || !caps) return D3DERR_INVALIDCALL;
    fill_caps(type, *caps);
    return D3D_OK;
}

HRESULT SoftDirect3D::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus_window, DWORD behavior,
                                   D3DPRESENT_PARAMETERS* pp, IDirect3DDevice8** device) {
    if (!device) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (!pp || FAILED(check_adapter(adapter, type))) return D3DERR_INVALIDCALL;
    return SoftDevice::create(*this, {adapter, type, focus_window, behavior, *pp}, pp, device);
}

} // namespace qcore::detail::soft

IDirect3D8* Direct3DCreate8(UINT sdk_version) {
    if (sdk_version != D3D_SDK_VERSION) return nullptr;
    return new qcore::detail::soft::SoftDirect3D();
}
