#include <qcore/platform/d3d8/soft/device.h>
#include <qcore/platform/d3d8/soft/state.h>

#include <cmath>
#include <cstring>
#include <numbers>

namespace qcore::detail::soft {
namespace {

DWORD bits_of(float f) {
    DWORD d;
    std::memcpy(&d, &f, sizeof d);
    return d;
}

struct RenderDefault {
    D3DRENDERSTATETYPE state;
    DWORD value;
};

// Published defaults of every named render state; D3DRS_ZENABLE is set from the depth buffer.
const RenderDefault kRenderDefaults[] = {
    {D3DRS_ZENABLE, D3DZB_FALSE},
    {D3DRS_FILLMODE, D3DFILL_SOLID},
    {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
    {D3DRS_LINEPATTERN, 0},
    {D3DRS_ZWRITEENABLE, TRUE},
    {D3DRS_ALPHATESTENABLE, FALSE},
    {D3DRS_LASTPIXEL, TRUE},
    {D3DRS_SRCBLEND, D3DBLEND_ONE},
    {D3DRS_DESTBLEND, D3DBLEND_ZERO},
    {D3DRS_CULLMODE, D3DCULL_CCW},
    {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
    {D3DRS_ALPHAREF, 0},
    {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
    {D3DRS_DITHERENABLE, FALSE},
    {D3DRS_ALPHABLENDENABLE, FALSE},
    {D3DRS_FOGENABLE, FALSE},
    {D3DRS_SPECULARENABLE, FALSE},
    {D3DRS_ZVISIBLE, 0},
    {D3DRS_FOGCOLOR, 0},
    {D3DRS_FOGTABLEMODE, D3DFOG_NONE},
    {D3DRS_FOGSTART, bits_of(0.f)},
    {D3DRS_FOGEND, bits_of(1.f)},
    {D3DRS_FOGDENSITY, bits_of(1.f)},
    {D3DRS_EDGEANTIALIAS, FALSE},
    {D3DRS_ZBIAS, 0},
    {D3DRS_RANGEFOGENABLE, FALSE},
    {D3DRS_STENCILENABLE, FALSE},
    {D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP},
    {D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP},
    {D3DRS_STENCILPASS, D3DSTENCILOP_KEEP},
    {D3DRS_STENCILFUNC, D3DCMP_ALWAYS},
    {D3DRS_STENCILREF, 0},
    {D3DRS_STENCILMASK, 0xffffffff},
    {D3DRS_STENCILWRITEMASK, 0xffffffff},
    {D3DRS_TEXTUREFACTOR, 0xffffffff},
    {D3DRS_WRAP0, 0},
    {D3DRS_WRAP1, 0},
    {D3DRS_WRAP2, 0},
    {D3DRS_WRAP3, 0},
    {D3DRS_WRAP4, 0},
    {D3DRS_WRAP5, 0},
    {D3DRS_WRAP6, 0},
    {D3DRS_WRAP7, 0},
    {D3DRS_CLIPPING, TRUE},
    {D3DRS_LIGHTING, TRUE},
    {D3DRS_AMBIENT, 0},
    {D3DRS_FOGVERTEXMODE, D3DFOG_NONE},
    {D3DRS_COLORVERTEX, TRUE},
    {D3DRS_LOCALVIEWER, TRUE},
    {D3DRS_NORMALIZENORMALS, FALSE},
    {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
    {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
    {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
    {D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL},
    {D3DRS_VERTEXBLEND, D3DVBF_DISABLE},
    {D3DRS_CLIPPLANEENABLE, 0},
    {D3DRS_SOFTWAREVERTEXPROCESSING, FALSE},
    {D3DRS_POINTSIZE, bits_of(1.f)},
    {D3DRS_POINTSIZE_MIN, bits_of(0.f)},
    {D3DRS_POINTSPRITEENABLE, FALSE},
    {D3DRS_POINTSCALEENABLE, FALSE},
    {D3DRS_POINTSCALE_A, bits_of(1.f)},
    {D3DRS_POINTSCALE_B, bits_of(0.f)},
    {D3DRS_POINTSCALE_C, bits_of(0.f)},
    {D3DRS_MULTISAMPLEANTIALIAS, TRUE},
    {D3DRS_MULTISAMPLEMASK, 0xffffffff},
    {D3DRS_PATCHEDGESTYLE, D3DPATCHEDGE_DISCRETE},
    {D3DRS_PATCHSEGMENTS, bits_of(1.f)},
    {D3DRS_DEBUGMONITORTOKEN, D3DDMT_ENABLE},
    {D3DRS_POINTSIZE_MAX, bits_of(64.f)},
    {D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE},
    {D3DRS_COLORWRITEENABLE, 0x0f},
    {D3DRS_TWEENFACTOR, bits_of(0.f)},
    {D3DRS_BLENDOP, D3DBLENDOP_ADD},
    {D3DRS_POSITIONORDER, D3DORDER_CUBIC},
    {D3DRS_NORMALORDER, D3DORDER_LINEAR},
};

bool named_render_state(DWORD state) {
    for (const auto& d : kRenderDefaults)
        if (d.state == state) return true;
    return false;
}

bool named_stage_state(DWORD type) {
    return type >= D3DTSS_COLOROP && type <= D3DTSS_RESULTARG && type != 12;
}

void set_stage_defaults(std::array<DWORD, QCORE_D3DTSS_COUNT>& s, DWORD stage) {
    s.fill(0);
    s[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    s[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    s[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    s[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    s[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    s[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    s[D3DTSS_TEXCOORDINDEX] = stage;
    s[D3DTSS_ADDRESSU] = s[D3DTSS_ADDRESSV] = s[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
    s[D3DTSS_MAGFILTER] = s[D3DTSS_MINFILTER] = D3DTEXF_POINT;
    s[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
    s[D3DTSS_MAXANISOTROPY] = 1;
    s[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
    s[D3DTSS_COLORARG0] = s[D3DTSS_ALPHAARG0] = s[D3DTSS_RESULTARG] = D3DTA_CURRENT;
}

// Where a transform lives in the state, or null for a number the device does not know.
D3DMATRIX* transform_slot(DeviceState& s, DWORD type) {
    if (type == D3DTS_VIEW) return &s.view;
    if (type == D3DTS_PROJECTION) return &s.projection;
    if (type >= D3DTS_TEXTURE0 && type <= D3DTS_TEXTURE7) return &s.texture_transform[type - D3DTS_TEXTURE0];
    if (type >= 256 && type < 256 + kWorldMatrices) return &s.world[type - 256];
    return nullptr;
}

D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k)
                r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

bool zero_vector(const D3DVECTOR& v) {
    return v.x == 0.f && v.y == 0.f && v.z == 0.f;
}

bool valid_light(const D3DLIGHT8& l) {
    if (l.Type < D3DLIGHT_POINT || l.Type > D3DLIGHT_DIRECTIONAL) return false;
    if (l.Type != D3DLIGHT_POINT && zero_vector(l.Direction)) return false;
    if (l.Type != D3DLIGHT_DIRECTIONAL && !(l.Range >= 0.f)) return false;
    if (l.Type == D3DLIGHT_SPOT)
        return l.Theta >= 0.f && l.Phi >= l.Theta && l.Phi <= std::numbers::pi_v<float>;
    return true;
}

} // namespace

D3DMATRIX identity_matrix() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.f;
    return m;
}

D3DLIGHT8 default_light() {
    D3DLIGHT8 l{};
    l.Type = D3DLIGHT_DIRECTIONAL;
    l.Diffuse = {1.f, 1.f, 1.f, 0.f};
    l.Direction = {0.f, 0.f, 1.f};
    return l;
}

void set_default_state(DeviceState& s, bool depth_buffer) {
    s.render.fill(0);
    for (const auto& d : kRenderDefaults)
        s.render[d.state] = d.value;
    s.render[D3DRS_ZENABLE] = depth_buffer ? D3DZB_TRUE : D3DZB_FALSE;
    for (DWORD stage = 0; stage < QCORE_D3D_STAGE_COUNT; ++stage)
        set_stage_defaults(s.stage[stage], stage);
    s.world.fill(identity_matrix());
    s.view = s.projection = identity_matrix();
    s.texture_transform.fill(identity_matrix());
    s.material = {};
    s.lights.clear();
    s.clip_planes = {};
    s.base_vertex_index = 0;
    s.vertex_shader = 0;
    s.pixel_shader = 0;
}

HRESULT SoftDevice::SetTransform(D3DTRANSFORMSTATETYPE type, const D3DMATRIX* matrix) {
    count(DeviceCall::SetTransform);
    D3DMATRIX* slot = transform_slot(state_, type);
    if (!slot || !matrix) return D3DERR_INVALIDCALL;
    *slot = *matrix;
    return D3D_OK;
}

HRESULT SoftDevice::GetTransform(D3DTRANSFORMSTATETYPE type, D3DMATRIX* matrix) {
    count(DeviceCall::GetTransform);
    const D3DMATRIX* slot = transform_slot(state_, type);
    if (!slot || !matrix || pure()) return D3DERR_INVALIDCALL;
    *matrix = *slot;
    return D3D_OK;
}

HRESULT SoftDevice::MultiplyTransform(D3DTRANSFORMSTATETYPE type, const D3DMATRIX* matrix) {
    count(DeviceCall::MultiplyTransform);
    D3DMATRIX* slot = transform_slot(state_, type);
    if (!slot || !matrix) return D3DERR_INVALIDCALL;
    *slot = multiply(*matrix, *slot);
    return D3D_OK;
}

HRESULT SoftDevice::SetViewport(const D3DVIEWPORT8* v) {
    count(DeviceCall::SetViewport);
    if (!v || !render_target_) return D3DERR_INVALIDCALL;
    const auto& target = render_target_->memory();
    if (uint64_t{v->X} + v->Width > target.width() || uint64_t{v->Y} + v->Height > target.height())
        return D3DERR_INVALIDCALL;
    if (!(v->MinZ >= 0.f && v->MaxZ <= 1.f && v->MinZ <= v->MaxZ)) return D3DERR_INVALIDCALL;
    state_.viewport = *v;
    return D3D_OK;
}

HRESULT SoftDevice::GetViewport(D3DVIEWPORT8* v) {
    count(DeviceCall::GetViewport);
    if (!v) return D3DERR_INVALIDCALL;
    *v = state_.viewport;
    return D3D_OK;
}

HRESULT SoftDevice::SetMaterial(const D3DMATERIAL8* material) {
    count(DeviceCall::SetMaterial);
    if (!material) return D3DERR_INVALIDCALL;
    state_.material = *material;
    return D3D_OK;
}

HRESULT SoftDevice::GetMaterial(D3DMATERIAL8* material) {
    count(DeviceCall::GetMaterial);
    if (!material || pure()) return D3DERR_INVALIDCALL;
    *material = state_.material;
    return D3D_OK;
}

HRESULT SoftDevice::SetLight(DWORD index, const D3DLIGHT8* light) {
    count(DeviceCall::SetLight);
    if (!light || !valid_light(*light)) return D3DERR_INVALIDCALL;
    state_.lights[index].light = *light;
    return D3D_OK;
}

HRESULT SoftDevice::GetLight(DWORD index, D3DLIGHT8* light) {
    count(DeviceCall::GetLight);
    const auto it = state_.lights.find(index);
    if (!light || it == state_.lights.end() || pure()) return D3DERR_INVALIDCALL;
    *light = it->second.light;
    return D3D_OK;
}

HRESULT SoftDevice::LightEnable(DWORD index, BOOL enable) {
    count(DeviceCall::LightEnable);
    auto it = state_.lights.find(index);
    if (it == state_.lights.end()) it = state_.lights.emplace(index, LightSlot{default_light(), false}).first;
    if (enable && !it->second.enabled) {
        UINT active = 0;
        for (const auto& [i, slot] : state_.lights)
            active += slot.enabled ? 1 : 0;
        if (active >= kMaxActiveLights) return D3DERR_INVALIDCALL;
    }
    it->second.enabled = enable != FALSE;
    return D3D_OK;
}

HRESULT SoftDevice::GetLightEnable(DWORD index, BOOL* enable) {
    count(DeviceCall::GetLightEnable);
    const auto it = state_.lights.find(index);
    if (!enable || it == state_.lights.end() || pure()) return D3DERR_INVALIDCALL;
    *enable = it->second.enabled ? TRUE : FALSE;
    return D3D_OK;
}

HRESULT SoftDevice::SetClipPlane(DWORD index, const float* plane) {
    count(DeviceCall::SetClipPlane);
    if (!plane || index >= kClipPlanes) return D3DERR_INVALIDCALL;
    std::memcpy(state_.clip_planes[index].data(), plane, 4 * sizeof(float));
    return D3D_OK;
}

HRESULT SoftDevice::GetClipPlane(DWORD index, float* plane) {
    count(DeviceCall::GetClipPlane);
    if (!plane || index >= kClipPlanes || pure()) return D3DERR_INVALIDCALL;
    std::memcpy(plane, state_.clip_planes[index].data(), 4 * sizeof(float));
    return D3D_OK;
}

HRESULT SoftDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    count(DeviceCall::SetRenderState);
    if (!named_render_state(state)) return D3DERR_INVALIDCALL;
    state_.render[state] = value;
    return D3D_OK;
}

HRESULT SoftDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    count(DeviceCall::GetRenderState);
    // Every number up to the last one reads back; unnamed numbers hold 0.
    if (!value || state >= QCORE_D3DRS_COUNT || pure()) return D3DERR_INVALIDCALL;
    *value = state_.render[state];
    return D3D_OK;
}

HRESULT SoftDevice::GetTexture(DWORD stage, IDirect3DBaseTexture8** texture) {
    count(DeviceCall::GetTexture);
    if (!texture || stage >= QCORE_D3D_STAGE_COUNT) return D3DERR_INVALIDCALL;
    *texture = state_.textures[stage];
    if (*texture) (*texture)->AddRef();
    return D3D_OK;
}

HRESULT SoftDevice::SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) {
    count(DeviceCall::SetTexture);
    if (stage >= QCORE_D3D_STAGE_COUNT) return D3DERR_INVALIDCALL;
    SoftTexture* soft = texture ? soft_texture(texture) : nullptr;
    if (texture && (!soft || &soft->device() != this)) return D3DERR_INVALIDCALL;
    rebind(state_.textures[stage], soft);
    return D3D_OK;
}

HRESULT SoftDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    count(DeviceCall::GetTextureStageState);
    if (!value || stage >= QCORE_D3D_STAGE_COUNT || type == 0 || type >= QCORE_D3DTSS_COUNT || pure())
        return D3DERR_INVALIDCALL;
    *value = state_.stage[stage][type];
    return D3D_OK;
}

HRESULT SoftDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    count(DeviceCall::SetTextureStageState);
    if (stage >= QCORE_D3D_STAGE_COUNT || !named_stage_state(type)) return D3DERR_INVALIDCALL;
    state_.stage[stage][type] = value;
    return D3D_OK;
}

HRESULT SoftDevice::ValidateDevice(DWORD* passes) {
    count(DeviceCall::ValidateDevice);
    if (!passes) return D3DERR_INVALIDCALL;
    for (DWORD stage = 0; stage < QCORE_D3D_STAGE_COUNT; ++stage) {
        const SoftTexture* t = state_.textures[stage];
        if (t && t->pool() == D3DPOOL_SYSTEMMEM) return D3DERR_WRONGTEXTUREFORMAT;
    }
    if (const HRESULT hr = validate_draw_state(); FAILED(hr)) return hr;
    *passes = 1;
    return D3D_OK;
}

HRESULT SoftDevice::SetVertexShader(DWORD handle) {
    count(DeviceCall::SetVertexShader);
    // Only flexible vertex formats: programmable shader handles and reserved bits are refused.
    if (handle & (D3DFVF_RESERVED0 | D3DFVF_RESERVED2)) return D3DERR_INVALIDCALL;
    state_.vertex_shader = handle;
    return D3D_OK;
}

HRESULT SoftDevice::GetVertexShader(DWORD* handle) {
    count(DeviceCall::GetVertexShader);
    if (!handle || pure()) return D3DERR_INVALIDCALL;
    *handle = state_.vertex_shader;
    return D3D_OK;
}

HRESULT SoftDevice::SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) {
    count(DeviceCall::SetStreamSource);
    if (stream >= kStreams || stride > caps_.MaxStreamStride) return D3DERR_INVALIDCALL;
    SoftVertexBuffer* soft = buffer ? soft_vertex_buffer(buffer) : nullptr;
    if (buffer && (!soft || &soft->device() != this)) return D3DERR_INVALIDCALL;
    rebind(state_.streams[stream].buffer, soft);
    state_.streams[stream].stride = stride;
    return D3D_OK;
}

HRESULT SoftDevice::GetStreamSource(UINT stream, IDirect3DVertexBuffer8** buffer, UINT* stride) {
    count(DeviceCall::GetStreamSource);
    if (!buffer || !stride || stream >= kStreams) return D3DERR_INVALIDCALL;
    *buffer = state_.streams[stream].buffer;
    if (*buffer) (*buffer)->AddRef();
    *stride = state_.streams[stream].stride;
    return D3D_OK;
}

HRESULT SoftDevice::SetIndices(IDirect3DIndexBuffer8* buffer, UINT base_vertex) {
    count(DeviceCall::SetIndices);
    SoftIndexBuffer* soft = buffer ? soft_index_buffer(buffer) : nullptr;
    if (buffer && (!soft || &soft->device() != this)) return D3DERR_INVALIDCALL;
    rebind(state_.indices, soft);
    state_.base_vertex_index = base_vertex;
    return D3D_OK;
}

HRESULT SoftDevice::GetIndices(IDirect3DIndexBuffer8** buffer, UINT* base_vertex) {
    count(DeviceCall::GetIndices);
    if (!buffer || !base_vertex) return D3DERR_INVALIDCALL;
    *buffer = state_.indices;
    if (*buffer) (*buffer)->AddRef();
    *base_vertex = state_.base_vertex_index;
    return D3D_OK;
}

HRESULT SoftDevice::SetPixelShader(DWORD handle) {
    count(DeviceCall::SetPixelShader);
    if (handle != 0) return D3DERR_INVALIDCALL; // the fixed-function pixel pipeline only
    state_.pixel_shader = 0;
    return D3D_OK;
}

HRESULT SoftDevice::GetPixelShader(DWORD* handle) {
    count(DeviceCall::GetPixelShader);
    if (!handle || pure()) return D3DERR_INVALIDCALL;
    *handle = state_.pixel_shader;
    return D3D_OK;
}

} // namespace qcore::detail::soft
