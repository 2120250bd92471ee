#pragma once
// Every state a software device holds between calls, with the published defaults.
#include <qcore/platform/d3d8/d3d8.h>

#include <array>
#include <map>

namespace qcore::detail::soft {

class SoftTexture;
template <class Interface> class SoftBuffer;
using SoftVertexBuffer = SoftBuffer<IDirect3DVertexBuffer8>;
using SoftIndexBuffer = SoftBuffer<IDirect3DIndexBuffer8>;

constexpr UINT kWorldMatrices = 256;
constexpr UINT kTextureTransforms = 8;
constexpr UINT kMaxActiveLights = 8;
constexpr UINT kClipPlanes = 6;
constexpr UINT kStreams = 16;

struct LightSlot {
    D3DLIGHT8 light;
    bool enabled = false;
};

struct StreamSlot {
    SoftVertexBuffer* buffer = nullptr;
    UINT stride = 0;
};

struct DeviceState {
    std::array<DWORD, QCORE_D3DRS_COUNT> render{};
    std::array<std::array<DWORD, QCORE_D3DTSS_COUNT>, QCORE_D3D_STAGE_COUNT> stage{};
    std::array<D3DMATRIX, kWorldMatrices> world{};
    D3DMATRIX view{};
    D3DMATRIX projection{};
    std::array<D3DMATRIX, kTextureTransforms> texture_transform{};
    D3DVIEWPORT8 viewport{};
    D3DMATERIAL8 material{};
    std::map<DWORD, LightSlot> lights;
    std::array<std::array<float, 4>, kClipPlanes> clip_planes{};
    // Bound objects are pinned by the device while bound.
    std::array<SoftTexture*, QCORE_D3D_STAGE_COUNT> textures{};
    std::array<StreamSlot, kStreams> streams{};
    SoftIndexBuffer* indices = nullptr;
    UINT base_vertex_index = 0;
    DWORD vertex_shader = 0;
    DWORD pixel_shader = 0;
};

// The state of a freshly created or reset device; `depth_buffer` tells whether one was made automatically.
// Bindings are left empty and the viewport covers nothing: the device sets it to its render target.
void set_default_state(DeviceState& state, bool depth_buffer);

// The light LightEnable makes for an index that has none: white directional light along +z.
D3DLIGHT8 default_light();

D3DMATRIX identity_matrix();

} // namespace qcore::detail::soft
