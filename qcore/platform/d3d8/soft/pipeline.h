#pragma once
// The software device's drawing pipeline: one call per draw, from vertices in memory to pixels in the
// render target. Vertex processing, primitive setup and binning, and tile rasterisation each run on all
// workers; the call returns when the draw is complete.
#include <qcore/platform/d3d8/soft/clipper.h>
#include <qcore/platform/d3d8/soft/pipeline_state.h>
#include <qcore/platform/d3d8/soft/pixel_processor.h>
#include <qcore/platform/d3d8/soft/setup.h>
#include <qcore/platform/d3d8/soft/texture_sampler.h>
#include <qcore/platform/d3d8/soft/vertex_transform.h>
#include <qcore/platform/d3d8/soft/worker_pool.h>

#include <memory>
#include <vector>

namespace qcore::detail::soft {

// Receives one line when a draw is refused for a reason other than the previous refusal's; the default
// writes it to standard error.
using DiagnosticHandler = void (*)(const char* message);
void set_diagnostic_handler(DiagnosticHandler handler);

class Pipeline {
public:
    explicit Pipeline(int workers = default_worker_count());

    // Draws request; returns false without drawing (last_error() says why) when the arguments are out of
    // range or the state asks for something this pipeline would not draw faithfully.
    bool draw(const PipelineState& state, const TargetView& target, const VertexStream& vertices,
              const IndexStream* indices, const DrawRequest& request);

    // Whether draws of triangles in vertex format fvf would be drawn in this state (false with
    // last_error() when not); an unusable fvf is taken as plain positions.
    bool validate(const PipelineState& state, const TargetView& target, uint32_t fvf);

    const char* last_error() const { return error_; }
    size_t converted_texture_bytes() const { return textures_.bytes(); }
    // How the last draw's pixels were shaded (which of the paths took them).
    const PixelContext& pixel_context() const { return pixels_; }
    void forget_texture(uint64_t id) { textures_.forget(id); }
    void set_worker_count(int workers);
    int worker_count() const { return pool_->size(); }

private:
    struct WorkerData {
        PlaneStore store;
        std::vector<std::vector<uint32_t>> bins;
    };

    bool fail(const char* reason);
    bool check_state(const PipelineState& state, const TargetView& target);
    bool prepare_pixels(const PipelineState& state, const TargetView& target);
    bool gather_indices(const VertexStream& vertices, const IndexStream* indices, const DrawRequest& request,
                        uint32_t vertex_count);
    void process_vertices(const VertexStream& vertices);
    void assemble(int worker, uint32_t first, uint32_t last);
    // A triangle (three indices into vertices_) that needs clipping.
    void emit_polygon(WorkerData& w, const ClipVertex* const* triangle, const uint32_t* corners,
                      const ClipVertex& provoking);
    // A triangle with texture coordinates wrapping along the shorter way (D3DRS_WRAPn).
    void emit_wrapped(WorkerData& w, uint32_t i0, uint32_t i1, uint32_t i2, uint32_t provoking);
    bool culled(float area) const;
    // Clipping works on pre-transformed vertices in homogeneous screen space; these convert there and back.
    const ClipVertex& clip_input(const ClipVertex& v, ClipVertex& scratch) const;
    void to_screen_clipped(const ClipVertex& in, ScreenVertex& out) const;
    void emit_triangle(WorkerData& w, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                       const ScreenVertex& provoking);
    void emit_line(WorkerData& w, uint32_t a, uint32_t b);
    void emit_point(WorkerData& w, uint32_t a);
    void to_screen(const ClipVertex& in, ScreenVertex& out) const;
    void bin(WorkerData& w);
    void rasterize_tiles();
    uint32_t vertex_at(uint32_t i) const { return indexed_ ? index_list_[i] - index_base_ : i; }

    std::unique_ptr<WorkerPool> pool_;
    std::vector<WorkerData> workers_; // one per chunk of a draw's primitives (at least one per worker)
    TextureCache textures_;
    VertexProcessor processor_;
    Clipper clipper_;
    PixelContext pixels_;
    SetupParams setup_;
    FvfLayout layout_;
    AttributeLayout attributes_;
    const PipelineState* state_ = nullptr;
    uint32_t primitive_type_ = 0;
    uint32_t primitive_count_ = 0;
    bool indexed_ = false;
    bool wrap_any_ = false;
    uint32_t first_vertex_ = 0;
    std::vector<uint32_t> index_list_; // per primitive-order vertex: index_base_ + index into vertices_
    uint32_t index_base_ = 0;
    std::vector<ClipVertex> vertices_;
    std::vector<ScreenVertex> screen_;
    std::vector<unsigned> outcodes_;
    std::vector<int> active_tiles_;
    float scale_x_ = 1.f, scale_y_ = 1.f, offset_x_ = 0.f, offset_y_ = 0.f;
    float depth_scale_ = 1.f, depth_offset_ = 0.f;
    int samples_x_ = 1, samples_y_ = 1;
    int tiles_x_ = 0, tiles_y_ = 0;
    const char* error_ = "";
    const char* last_logged_ = nullptr;
};

} // namespace qcore::detail::soft
