#pragma once
// The seam between the software device and its drawing pipeline. The device validates a draw call and hands
// the pipeline the current state, the vertices and indices, and the surfaces to draw into; the pipeline
// turns them into records of its own.
#include <qcore/platform/d3d8/soft/resources.h>
#include <qcore/platform/d3d8/soft/state.h>

#include <functional>
#include <memory>

namespace qcore::detail::soft {

struct DrawCall {
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT primitive_count = 0;
    DWORD fvf = 0;
    // Vertex bytes of stream 0 (a bound buffer or the caller's memory), `vertex_bytes` long.
    const uint8_t* vertices = nullptr;
    size_t vertex_bytes = 0;
    UINT stride = 0;
    // Non-indexed: vertices first_vertex onward, all inside `vertex_bytes`. Indexed: `index_count` indices of
    // `index_size` bytes (2 or 4) from `indices`; each plus `base_vertex` names a vertex inside
    // `vertex_bytes` (the device checked them). min_index and vertex_range are the caller's range hint.
    UINT first_vertex = 0;
    const uint8_t* indices = nullptr;
    UINT index_size = 0;
    UINT index_count = 0;
    UINT base_vertex = 0;
    UINT min_index = 0;
    UINT vertex_range = 0;
};

struct DrawTargets {
    SurfaceMemory* colour = nullptr;
    SurfaceMemory* depth = nullptr; // null when no depth-stencil surface is set
};

class DrawBackend {
public:
    virtual ~DrawBackend() = default;
    // D3DERR_INVALIDCALL when the pipeline cannot draw the call faithfully (it then draws nothing).
    virtual HRESULT draw(const DeviceState& state, const DrawCall& call, DrawTargets& targets) = 0;
    // Whether draws in this state would be drawn; ValidateDevice answers with it (D3D_OK, or the
    // published error that names what is refused).
    virtual HRESULT validate(const DeviceState& /*state*/, DrawTargets& /*targets*/) { return D3D_OK; }
    // A texture was destroyed or is being rewritten: anything kept for it (converted levels) can go.
    virtual void forget_texture(uint64_t /*id*/) {}
};

// Each new device asks the installed factory for its pipeline; with none installed it gets the software
// drawing pipeline (make_pipeline_backend).
using DrawBackendFactory = std::function<std::unique_ptr<DrawBackend>()>;
void install_draw_backend_factory(DrawBackendFactory factory);
std::unique_ptr<DrawBackend> make_draw_backend();

} // namespace qcore::detail::soft
