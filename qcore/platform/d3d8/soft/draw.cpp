#include <qcore/platform/d3d8/soft/device.h>
#include <qcore/platform/d3d8/soft/formats.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace qcore::detail::soft {
namespace {

// Vertices (or indices) a primitive run uses; 0 for an unknown type.
uint64_t vertices_for(D3DPRIMITIVETYPE type, UINT count) {
    switch (type) {
    case D3DPT_POINTLIST:
        return count;
    case D3DPT_LINELIST:
        return uint64_t{count} * 2;
    case D3DPT_LINESTRIP:
        return uint64_t{count} + 1;
    case D3DPT_TRIANGLELIST:
        return uint64_t{count} * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return uint64_t{count} + 2;
    default:
        return 0;
    }
}

UINT index_size(D3DFORMAT format) {
    if (format == D3DFMT_INDEX16) return 2;
    if (format == D3DFMT_INDEX32) return 4;
    return 0;
}

// True when every index lies in [first, end) and, plus `base`, names a vertex below `limit`, so the
// pipeline never reads outside the vertices it was given.
bool indices_within(const uint8_t* indices, UINT size, uint64_t count, uint64_t base, uint64_t limit,
                    uint64_t first, uint64_t end) {
    for (uint64_t i = 0; i < count; ++i) {
        uint32_t v = 0;
        std::memcpy(&v, indices + i * size, size);
        if (v < first || v >= end || base + v >= limit) return false;
    }
    return true;
}

DrawCall make_call(D3DPRIMITIVETYPE type, UINT primitives, DWORD fvf, const void* vertices, size_t bytes,
                   UINT stride) {
    DrawCall call;
    call.type = type;
    call.primitive_count = primitives;
    call.fvf = fvf;
    call.vertices = static_cast<const uint8_t*>(vertices);
    call.vertex_bytes = bytes;
    call.stride = stride;
    return call;
}

void add_indices(DrawCall& call, const void* indices, UINT size, uint64_t count, UINT min_index, UINT range) {
    call.indices = static_cast<const uint8_t*>(indices);
    call.index_size = size;
    call.index_count = static_cast<UINT>(count);
    call.min_index = min_index;
    call.vertex_range = range;
}

// Holds every level of the bound textures open for reading while a draw samples them.
class TextureReads {
public:
    explicit TextureReads(const DeviceState& state) {
        for (SoftTexture* t : state.textures)
            for (UINT i = 0; t && i < t->GetLevelCount(); ++i) {
                // A texture bound to two stages is opened once: a second wait could queue behind a writer.
                SurfaceGate& gate = t->level(i)->memory().gate();
                if (std::find(open_.begin(), open_.end(), &gate) == open_.end() && gate.begin_read())
                    open_.push_back(&gate);
            }
    }
    ~TextureReads() {
        for (SurfaceGate* gate : open_)
            gate->end_read();
    }
    TextureReads(const TextureReads&) = delete;
    TextureReads& operator=(const TextureReads&) = delete;

private:
    std::vector<SurfaceGate*> open_;
};

} // namespace

HRESULT SoftDevice::check_draw(D3DPRIMITIVETYPE type, UINT primitives) const {
    if (vertices_for(type, 1) == 0 || primitives > caps_.MaxPrimitiveCount) return D3DERR_INVALIDCALL;
    if (!in_scene_ || fvf_stride(state_.vertex_shader) == 0) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT SoftDevice::draw(const DrawCall& call) {
    if (call.primitive_count == 0 || lost_ || !backend_ || !render_target_) return D3D_OK;
    DrawTargets targets{&render_target_->memory(), depth_target_ ? &depth_target_->memory() : nullptr};
    const TextureReads reading(state_);
    return backend_->draw(state_, call, targets);
}

HRESULT SoftDevice::validate_draw_state() {
    if (lost_ || !backend_ || !render_target_) return D3D_OK;
    DrawTargets targets{&render_target_->memory(), depth_target_ ? &depth_target_->memory() : nullptr};
    const TextureReads reading(state_);
    return backend_->validate(state_, targets);
}

HRESULT SoftDevice::DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT primitives) {
    count(DeviceCall::DrawPrimitive);
    if (const HRESULT hr = check_draw(type, primitives); FAILED(hr)) return hr;
    const StreamSlot& stream = state_.streams[0];
    const UINT stride = stream.stride;
    if (!stream.buffer || stride < fvf_stride(state_.vertex_shader)) return D3DERR_INVALIDCALL;
    const uint64_t used = (uint64_t{start} + vertices_for(type, primitives)) * stride;
    if (used > stream.buffer->memory().length()) return D3DERR_INVALIDCALL;
    DrawCall call = make_call(type, primitives, state_.vertex_shader, stream.buffer->memory().bits(),
                              stream.buffer->memory().length(), stride);
    call.first_vertex = start;
    return draw(call);
}

HRESULT SoftDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT min_index, UINT vertices,
                                         UINT start_index, UINT primitives) {
    count(DeviceCall::DrawIndexedPrimitive);
    if (const HRESULT hr = check_draw(type, primitives); FAILED(hr)) return hr;
    const StreamSlot& stream = state_.streams[0];
    const SoftIndexBuffer* ib = state_.indices;
    if (!stream.buffer || !ib || stream.stride < fvf_stride(state_.vertex_shader)) return D3DERR_INVALIDCALL;
    const UINT size = index_size(ib->format());
    const uint64_t indices = vertices_for(type, primitives);
    if ((uint64_t{start_index} + indices) * size > ib->memory().length()) return D3DERR_INVALIDCALL;
    const uint64_t available = stream.buffer->memory().length() / stream.stride;
    const uint8_t* first = ib->memory().bits() + size_t{start_index} * size;
    if (!indices_within(first, size, indices, state_.base_vertex_index, available, 0,
                        uint64_t{caps_.MaxVertexIndex} + 1))
        return D3DERR_INVALIDCALL;
    DrawCall call = make_call(type, primitives, state_.vertex_shader, stream.buffer->memory().bits(),
                              stream.buffer->memory().length(), stream.stride);
    add_indices(call, first, size, indices, min_index, vertices);
    call.base_vertex = state_.base_vertex_index;
    return draw(call);
}

HRESULT SoftDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitives, const void* data, UINT stride) {
    count(DeviceCall::DrawPrimitiveUP);
    if (const HRESULT hr = check_draw(type, primitives); FAILED(hr)) return hr;
    if (!data || stride < fvf_stride(state_.vertex_shader)) return D3DERR_INVALIDCALL;
    // Drawing from memory leaves stream 0 unset, as after any such call.
    rebind<SoftVertexBuffer>(state_.streams[0].buffer, nullptr);
    state_.streams[0].stride = 0;
    return draw(make_call(type, primitives, state_.vertex_shader, data,
                          vertices_for(type, primitives) * stride, stride));
}

HRESULT SoftDevice::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT min_index, UINT vertices,
                                           UINT primitives, const void* indices, D3DFORMAT index_format,
                                           const void* data, UINT stride) {
    count(DeviceCall::DrawIndexedPrimitiveUP);
    if (const HRESULT hr = check_draw(type, primitives); FAILED(hr)) return hr;
    const UINT size = index_size(index_format);
    if (!indices || !data || size == 0 || stride < fvf_stride(state_.vertex_shader))
        return D3DERR_INVALIDCALL;
    const uint64_t count_indices = vertices_for(type, primitives);
    // The caller's memory holds vertices [0, min_index + vertices) and nothing else is known of it: every
    // index must fall in the range the caller named, and that range within what the device can index.
    const uint64_t limit = uint64_t{min_index} + vertices;
    if (vertices == 0 || limit > uint64_t{caps_.MaxVertexIndex} + 1) return D3DERR_INVALIDCALL;
    if (!indices_within(static_cast<const uint8_t*>(indices), size, count_indices, 0, limit, min_index,
                        limit))
        return D3DERR_INVALIDCALL;
    rebind<SoftVertexBuffer>(state_.streams[0].buffer, nullptr);
    state_.streams[0].stride = 0;
    rebind<SoftIndexBuffer>(state_.indices, nullptr);
    DrawCall call = make_call(type, primitives, state_.vertex_shader, data, limit * stride, stride);
    add_indices(call, indices, size, count_indices, min_index, vertices);
    return draw(call);
}

} // namespace qcore::detail::soft
