#pragma once
// The Direct3D object of the software device: one adapter showing the desktop mode, format checks,
// capabilities and device creation.
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/d3d8/soft/object.h>

namespace qcore::detail::soft {

class SoftDirect3D final : public IDirect3D8 {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    UINT GetAdapterCount() override { return 1; }
    HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER8* identifier) override;
    UINT GetAdapterModeCount(UINT adapter) override;
    HRESULT EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* out) override;
    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override;
    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT display, D3DFORMAT back_buffer,
                            BOOL windowed) override;
    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapter_format, DWORD usage,
                              D3DRESOURCETYPE resource, D3DFORMAT format) override;
    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format, BOOL windowed,
                                       D3DMULTISAMPLE_TYPE multisample) override;
    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapter_format,
                                   D3DFORMAT render_target, D3DFORMAT depth_stencil) override;
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus_window, DWORD behavior,
                         D3DPRESENT_PARAMETERS* pp, IDirect3DDevice8** device) override;

private:
    RefCounter refs_{1};
};

bool valid_device_type(D3DDEVTYPE type);
void fill_caps(D3DDEVTYPE type, D3DCAPS8& caps);
// Whether a windowed back buffer of `back_buffer` format can show on a desktop of `display` format.
bool back_buffer_matches_display(D3DFORMAT display, D3DFORMAT back_buffer);
bool multisample_supported(D3DFORMAT format, D3DMULTISAMPLE_TYPE multisample);

} // namespace qcore::detail::soft
