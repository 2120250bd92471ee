#include <qcore/platform/d3d8/soft/formats.h>
#include <qcore/platform/d3d8/soft/pipeline.h>
#include <qcore/platform/d3d8/soft/rasterizer.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace qcore::detail::soft {

namespace {

constexpr int tile_size = 64;
constexpr uint32_t max_primitives = 1u << 24;
constexpr uint32_t vertex_chunk = 2048;
constexpr uint32_t primitive_chunk = 4096;
// Pixels between the viewport edge and the guard band, where clipping x and y starts.
constexpr float guard_pixels = 8192.f;

void default_handler(const char* message) {
    std::fprintf(stderr, "soft device: %s\n", message);
}

std::atomic<DiagnosticHandler> g_handler{default_handler};

uint32_t vertices_for(uint32_t type, uint32_t count) {
    switch (type) {
    case prim_points:
        return count;
    case prim_line_list:
        return 2 * count;
    case prim_line_strip:
        return count + 1;
    case prim_tri_list:
        return 3 * count;
    case prim_tri_strip:
    case prim_tri_fan:
        return count + 2;
    default:
        return 0;
    }
}

bool valid_func(uint32_t f) {
    return f >= cmp_never && f <= cmp_always;
}

int color_bytes(D3DFORMAT f) {
    return static_cast<int>(format_info(f)->bytes);
}
// Copies count indices of type T from base to out and widens [lo, hi] over them.
template <class T>
void copy_indices(const uint8_t* base, uint32_t count, uint32_t* out, uint32_t& lo, uint32_t& hi) {
    for (uint32_t i = 0; i < count; ++i) {
        T index;
        std::memcpy(&index, base + size_t{i} * sizeof(T), sizeof(T));
        out[i] = index;
        lo = std::min<uint32_t>(lo, index);
        hi = std::max<uint32_t>(hi, index);
    }
}

int depth_bytes(D3DFORMAT f) {
    return (f == D3DFMT_D16 || f == D3DFMT_D16_LOCKABLE) ? 2 : 4;
}

} // namespace

void set_diagnostic_handler(DiagnosticHandler handler) {
    g_handler.store(handler ? handler : default_handler);
}

Pipeline::Pipeline(int workers) {
    set_worker_count(workers);
}

void Pipeline::set_worker_count(int workers) {
    pool_ = std::make_unique<WorkerPool>(workers);
    workers_.resize(static_cast<size_t>(pool_->size()));
}

bool Pipeline::fail(const char* reason) {
    error_ = reason;
    // A host repeating a refused draw every frame gets one line, not one per frame.
    if (reason != last_logged_) g_handler.load()(reason);
    last_logged_ = reason;
    return false;
}

bool Pipeline::check_state(const PipelineState& s, const TargetView& target) {
    if (!target.color.data || !render_target_format(target.color.format) || target.color.width <= 0 ||
        target.color.height <= 0)
        return fail("render target format cannot be drawn into");
    if (target.depth.data && (!depth_format(target.depth.format) || target.depth.width < target.color.width ||
                              target.depth.height < target.color.height))
        return fail("depth buffer cannot be used with this render target");
    if (target.samples_x < 1 || target.samples_y < 1 || target.samples_x > 4 || target.samples_y > 4)
        return fail("unsupported sample layout");
    if (s.fog && (s.fog_table_mode > fog_linear || s.fog_vertex_mode > fog_linear))
        return fail("unknown fog mode");
    if (s.clip_planes >> max_clip_planes) return fail("more user clip planes than the device has");
    if (s.fill_mode < fill_point || s.fill_mode > fill_solid || s.cull_mode < cull_none ||
        s.cull_mode > cull_ccw)
        return fail("unknown fill or cull mode");
    if (!valid_func(s.z_func) || !valid_func(s.alpha_func) || !valid_func(s.stencil_func))
        return fail("unknown comparison function");
    if (s.alpha_blend &&
        (s.src_blend < blend_zero || s.src_blend > blend_both_inv_src_alpha || s.dest_blend < blend_zero ||
         s.dest_blend > blend_both_inv_src_alpha || s.blend_op < blendop_add || s.blend_op > blendop_max))
        return fail("unknown blend factor or operation");
    for (uint32_t op : {s.stencil_fail, s.stencil_zfail, s.stencil_pass})
        if (s.stencil_enable && (op < stencil_keep || op > stencil_decr))
            return fail("unknown stencil operation");
    if (s.viewport.width <= 0 || s.viewport.height <= 0) return fail("empty viewport");
    return true;
}

bool Pipeline::prepare_pixels(const PipelineState& s, const TargetView& target) {
    PixelContext& px = pixels_;
    px.target = target;
    px.color_bytes = color_bytes(target.color.format);
    const bool depth = target.depth.data != nullptr;
    px.depth_bytes = depth ? depth_bytes(target.depth.format) : 0;
    px.depth_test = depth && s.z_enable;
    px.depth_write = depth && s.z_enable && s.z_write;
    px.z_func = s.z_func;
    px.stencil = depth && s.stencil_enable && has_stencil(target.depth.format);
    px.stencil_func = s.stencil_func;
    px.stencil_fail = s.stencil_fail;
    px.stencil_zfail = s.stencil_zfail;
    px.stencil_pass = s.stencil_pass;
    px.stencil_ref = static_cast<uint8_t>(s.stencil_ref);
    px.stencil_mask = static_cast<uint8_t>(s.stencil_mask);
    px.stencil_write_mask = static_cast<uint8_t>(s.stencil_write_mask);
    px.alpha_test = s.alpha_test;
    px.alpha_func = s.alpha_func;
    px.alpha_ref = s.alpha_ref;
    px.blending = s.alpha_blend;
    px.blend = {s.src_blend, s.dest_blend, s.blend_op};
    px.write_mask = s.color_write;
    px.factor = unpack_color(s.texture_factor);
    px.lod_offset = std::log2(static_cast<float>(std::max(target.samples_x, target.samples_y)));

    // Stages run up to the first disabled colour operation.
    int stage_count = 0;
    bool reads_specular = false;
    while (stage_count < max_stages && s.stages[stage_count].color_op != top::disable) {
        const StageRecord& st = s.stages[stage_count++];
        for (uint32_t arg :
             {st.color_arg0, st.color_arg1, st.color_arg2, st.alpha_arg0, st.alpha_arg1, st.alpha_arg2})
            reads_specular = reads_specular || (arg & ta::select_mask) == ta::specular;
    }
    px.fog = !s.fog                         ? PixelContext::Fog::none
             : s.fog_table_mode != fog_none ? PixelContext::Fog::table
                                            : PixelContext::Fog::vertex;
    px.fog_mode = s.fog_table_mode;
    px.fog_start = s.fog_start;
    px.fog_end = s.fog_end;
    px.fog_density = s.fog_density;
    px.fog_color = unpack_color(s.fog_color);
    // Table fog reads eye distance (w) under a perspective projection, depth under an affine one.
    const float* m = s.projection;
    px.fog_w = m[3] != 0.f || m[7] != 0.f || m[11] != 0.f || m[15] != 1.f;
    attributes_ = AttributeLayout{};
    // Vertex colours carry the specular colour when it is added, read by a stage or holds the fog factor.
    attributes_.specular = s.specular_enable || reads_specular || px.fog == PixelContext::Fog::vertex;
    int next_slot = attributes_.specular ? 8 : 4;
    px.stage_count = 0;
    textures_.new_draw();
    const char* reason = nullptr;
    for (int i = 0; i < max_stages && s.stages[i].color_op != top::disable; ++i) {
        const StageRecord& stage = s.stages[i];
        if (!check_stage_program(stage, &reason)) return fail(reason);
        StageProgram& p = px.stages[i];
        p.color_op = stage.color_op;
        p.color_args[0] = stage.color_arg0, p.color_args[1] = stage.color_arg1,
        p.color_args[2] = stage.color_arg2;
        p.alpha_op = stage.alpha_op;
        p.alpha_args[0] = stage.alpha_arg0, p.alpha_args[1] = stage.alpha_arg1,
        p.alpha_args[2] = stage.alpha_arg2;
        p.to_temp = stage.result_arg == ta::temp;
        p.sampler = -1;
        px.stage_uv[i] = -1;
        std::copy(stage.bump_matrix, stage.bump_matrix + 4, p.bump);
        p.bump_scale = stage.bump_scale;
        p.bump_offset = stage.bump_offset;
        px.stage_q[i] = -1;
        px.stage_wrap[i] = 0;
        if (stage_samples_texture(stage)) {
            if (!textures_.bind(*stage.texture, stage, px.samplers[i], &reason)) return fail(reason);
            p.sampler = i;
            px.stage_uv[i] = next_slot;
            attributes_.stage_uv[i] = next_slot;
            next_slot += 2;
            if (stage.transform_flags & ttf_projected) {
                px.stage_q[i] = attributes_.stage_q[i] = next_slot;
                next_slot += 1;
            }
            px.stage_wrap[i] = s.wrap[stage.texcoord_index & 7u] & 3u;
        }
        px.stage_count = i + 1;
    }
    attributes_.count = next_slot;
    px.attribute_count = next_slot;
    px.specular = attributes_.specular;
    px.specular_add = s.specular_enable;
    wrap_any_ = false;
    for (int i = 0; i < px.stage_count; ++i)
        wrap_any_ = wrap_any_ || px.stage_wrap[i] != 0;
    choose_fast_path(px);
    return true;
}

bool Pipeline::gather_indices(const VertexStream& vs, const IndexStream* is, const DrawRequest& r,
                              uint32_t count) {
    const uint64_t stride = vs.stride;
    auto vertex_fits = [&](uint64_t v) { return v * stride + layout_.size <= vs.size; };
    indexed_ = r.indexed;
    if (!r.indexed) {
        if (!vertex_fits(uint64_t{r.start_vertex} + count - 1))
            return fail("vertices beyond the end of the vertex data");
        first_vertex_ = r.start_vertex;
        vertices_.resize(count);
        return true;
    }
    if (!is || !is->data) return fail("indexed draw without indices");
    const uint64_t index_size = is->is32 ? 4 : 2;
    if ((uint64_t{r.start_index} + count) * index_size > is->size)
        return fail("indices beyond the end of the index data");
    index_list_.resize(count);
    // One pass copies the indices and finds their range; vertex_at() makes them relative to its start.
    uint32_t lo = UINT32_MAX, hi = 0;
    const uint8_t* base = is->data + uint64_t{r.start_index} * index_size;
    if (is->is32)
        copy_indices<uint32_t>(base, count, index_list_.data(), lo, hi);
    else
        copy_indices<uint16_t>(base, count, index_list_.data(), lo, hi);
    if (!vertex_fits(uint64_t{hi} + r.start_vertex))
        return fail("index refers beyond the end of the vertex data");
    index_base_ = lo;
    first_vertex_ = static_cast<uint32_t>(uint64_t{lo} + r.start_vertex);
    vertices_.resize(size_t{hi} - lo + 1);
    return true;
}

void Pipeline::to_screen(const ClipVertex& in, ScreenVertex& out) const {
    const int n = attributes_.count;
    if (layout_.pretransformed) {
        out.x = in.pos[0] * static_cast<float>(samples_x_) + 0.5f * static_cast<float>(samples_x_ - 1);
        out.y = in.pos[1] * static_cast<float>(samples_y_) + 0.5f * static_cast<float>(samples_y_ - 1);
        out.z = in.pos[2];
        out.q = in.pos[3];
    } else {
        const float q = 1.f / in.pos[3];
        out.x = in.pos[0] * q * scale_x_ + offset_x_;
        out.y = in.pos[1] * q * scale_y_ + offset_y_;
        out.z = in.pos[2] * q * depth_scale_ + depth_offset_;
        out.q = q;
    }
    for (int i = 0; i < n; ++i)
        out.attr[i] = in.attr[i] * out.q;
}

void Pipeline::process_vertices(const VertexStream& vs) {
    const uint32_t count = static_cast<uint32_t>(vertices_.size());
    screen_.resize(count);
    outcodes_.resize(count);
    const int chunks = static_cast<int>((count + vertex_chunk - 1) / vertex_chunk);
    pool_->run(chunks, [&](int chunk, int) {
        const uint32_t begin = static_cast<uint32_t>(chunk) * vertex_chunk;
        const uint32_t end = std::min(count, begin + vertex_chunk);
        for (uint32_t i = begin; i < end; ++i) {
            ClipVertex& v = vertices_[i];
            processor_.process(vs.data + (uint64_t{first_vertex_} + i) * vs.stride, v);
            if (layout_.pretransformed) {
                ClipVertex h;
                to_homogeneous_screen(v, 0, h);
                outcodes_[i] = clipper_.outcode(h);
            } else {
                outcodes_[i] = clipper_.outcode(v);
            }
            if (outcodes_[i] == 0) to_screen(v, screen_[i]);
        }
    });
}

void Pipeline::bin(WorkerData& w) {
    const uint32_t index = static_cast<uint32_t>(w.store.prims.size() - 1);
    const PixelRect& b = w.store.prims.back().bounds;
    for (int ty = b.y0 / tile_size; ty <= b.y1 / tile_size; ++ty)
        for (int tx = b.x0 / tile_size; tx <= b.x1 / tile_size; ++tx)
            w.bins[static_cast<size_t>(ty * tiles_x_ + tx)].push_back(index);
}

bool Pipeline::culled(float area) const {
    return (state_->cull_mode == cull_cw && area > 0.f) || (state_->cull_mode == cull_ccw && area < 0.f);
}

void Pipeline::emit_triangle(WorkerData& w, const ScreenVertex& a, const ScreenVertex& b,
                             const ScreenVertex& c, const ScreenVertex& provoking) {
    if (culled(screen_area(a, b, c))) return;
    if (state_->fill_mode == fill_solid) {
        if (setup_triangle(setup_, a, b, c, provoking, w.store)) bin(w);
        return;
    }
    const ScreenVertex* v[3] = {&a, &b, &c};
    for (int i = 0; i < 3; ++i) {
        const bool ok = state_->fill_mode == fill_wireframe
                            ? setup_line(setup_, *v[i], *v[(i + 1) % 3], provoking, w.store)
                            : setup_point(setup_, *v[i], state_->point_size, w.store);
        if (ok) bin(w);
    }
}

void Pipeline::to_screen_clipped(const ClipVertex& in, ScreenVertex& out) const {
    if (!layout_.pretransformed) return to_screen(in, out);
    // Back from homogeneous screen space to (x, y, z, rhw).
    ClipVertex v;
    const float q = 1.f / in.pos[3];
    v.pos[0] = in.pos[0] * q, v.pos[1] = in.pos[1] * q, v.pos[2] = in.pos[2] * q, v.pos[3] = q;
    std::copy(in.attr, in.attr + attributes_.count, v.attr);
    to_screen(v, out);
}

const ClipVertex& Pipeline::clip_input(const ClipVertex& v, ClipVertex& scratch) const {
    if (!layout_.pretransformed) return v;
    to_homogeneous_screen(v, attributes_.count, scratch);
    return scratch;
}

void Pipeline::emit_polygon(WorkerData& w, const ClipVertex* const* triangle, const uint32_t* corners,
                            const ClipVertex& provoking_clip) {
    ScreenVertex provoking;
    provoking.q = 1.f;
    std::copy(provoking_clip.attr, provoking_clip.attr + attributes_.count, provoking.attr);
    ClipVertex scratch[3];
    const ClipVertex* polygon[3];
    for (int i = 0; i < 3; ++i)
        polygon[i] = &clip_input(*triangle[i], scratch[i]);
    ClipVertex clipped[max_clip_vertices];
    bool edges[max_clip_vertices];
    const int count = clipper_.clip(polygon, 3, attributes_.count, clipped, edges);
    if (count < 3) return;
    ScreenVertex screen[max_clip_vertices];
    for (int i = 0; i < count; ++i)
        to_screen_clipped(clipped[i], screen[i]);
    if (state_->fill_mode == fill_solid) {
        for (int i = 1; i + 1 < count; ++i)
            emit_triangle(w, screen[0], screen[i], screen[i + 1], provoking);
        return;
    }
    // Outlines and points show the triangle itself: its edges as far as they survive clipping, never the
    // cuts along the clip planes or the inner edges of the fan, and its own corners.
    float area = 0.f;
    for (int i = 1; i + 1 < count; ++i)
        area += screen_area(screen[0], screen[i], screen[i + 1]);
    if (culled(area)) return;
    if (state_->fill_mode == fill_wireframe) {
        for (int i = 0; i < count; ++i)
            if (edges[i] && setup_line(setup_, screen[i], screen[(i + 1) % count], provoking, w.store))
                bin(w);
        return;
    }
    for (int i = 0; i < 3; ++i)
        if (outcodes_[corners[i]] == 0 &&
            setup_point(setup_, screen_[corners[i]], state_->point_size, w.store))
            bin(w);
}

void Pipeline::emit_wrapped(WorkerData& w, uint32_t i0, uint32_t i1, uint32_t i2, uint32_t provoking_index) {
    ClipVertex v[3] = {vertices_[i0], vertices_[i1], vertices_[i2]};
    // A wrapping coordinate takes the shorter way round between the corners: seen from the first corner,
    // no other is more than half the texture away.
    for (int s = 0; s < pixels_.stage_count; ++s) {
        for (int axis = 0; axis < 2; ++axis) {
            if (!((pixels_.stage_wrap[s] >> axis) & 1u)) continue;
            const int slot = attributes_.stage_uv[s] + axis;
            for (int k = 1; k < 3; ++k) {
                const float d = v[k].attr[slot] - v[0].attr[slot];
                if (std::fabs(d) > 0.5f) v[k].attr[slot] -= std::round(d);
            }
        }
    }
    ClipVertex& provoking = provoking_index == i0 ? v[0] : provoking_index == i1 ? v[1] : v[2];
    const uint32_t corners[3] = {i0, i1, i2};
    if ((outcodes_[i0] | outcodes_[i1] | outcodes_[i2]) != 0) {
        const ClipVertex* triangle[3] = {&v[0], &v[1], &v[2]};
        emit_polygon(w, triangle, corners, provoking);
        return;
    }
    ScreenVertex screen[3], first;
    for (int k = 0; k < 3; ++k)
        to_screen(v[k], screen[k]);
    first.q = 1.f;
    std::copy(provoking.attr, provoking.attr + attributes_.count, first.attr);
    emit_triangle(w, screen[0], screen[1], screen[2], first);
}

void Pipeline::emit_line(WorkerData& w, uint32_t a, uint32_t b) {
    ScreenVertex provoking;
    provoking.q = 1.f;
    std::copy(vertices_[a].attr, vertices_[a].attr + attributes_.count, provoking.attr);
    if ((outcodes_[a] | outcodes_[b]) == 0) {
        if (setup_line(setup_, screen_[a], screen_[b], provoking, w.store)) bin(w);
        return;
    }
    ClipVertex scratch[2], ca, cb;
    if (!clipper_.clip_line(clip_input(vertices_[a], scratch[0]), clip_input(vertices_[b], scratch[1]),
                            attributes_.count, ca, cb))
        return;
    ScreenVertex sa, sb;
    to_screen_clipped(ca, sa);
    to_screen_clipped(cb, sb);
    if (setup_line(setup_, sa, sb, provoking, w.store)) bin(w);
}

void Pipeline::emit_point(WorkerData& w, uint32_t a) {
    if (outcodes_[a] != 0) return;
    if (setup_point(setup_, screen_[a], vertices_[a].point_size, w.store)) bin(w);
}

void Pipeline::assemble(int worker, uint32_t first, uint32_t last) {
    WorkerData& w = workers_[static_cast<size_t>(worker)];
    for (uint32_t p = first; p < last; ++p) {
        switch (primitive_type_) {
        case prim_points:
            emit_point(w, vertex_at(p));
            continue;
        case prim_line_list:
            emit_line(w, vertex_at(2 * p), vertex_at(2 * p + 1));
            continue;
        case prim_line_strip:
            emit_line(w, vertex_at(p), vertex_at(p + 1));
            continue;
        default:
            break;
        }
        uint32_t i0, i1, i2;
        if (primitive_type_ == prim_tri_list)
            i0 = vertex_at(3 * p), i1 = vertex_at(3 * p + 1), i2 = vertex_at(3 * p + 2);
        else if (primitive_type_ == prim_tri_fan)
            i0 = vertex_at(0), i1 = vertex_at(p + 1), i2 = vertex_at(p + 2);
        else if (p & 1) // strips alternate winding; swapping keeps every triangle's orientation
            i0 = vertex_at(p + 1), i1 = vertex_at(p), i2 = vertex_at(p + 2);
        else
            i0 = vertex_at(p), i1 = vertex_at(p + 1), i2 = vertex_at(p + 2);
        const unsigned a = outcodes_[i0], b = outcodes_[i1], c = outcodes_[i2];
        if (a & b & c) continue;
        // Strips name their provoking vertex in the original order.
        const uint32_t first_vertex = (primitive_type_ == prim_tri_strip && (p & 1)) ? i1 : i0;
        if (wrap_any_) {
            emit_wrapped(w, i0, i1, i2, first_vertex);
            continue;
        }
        if ((a | b | c) == 0) {
            // Only flat shading reads the provoking vertex's colours.
            if (!setup_.flat) {
                emit_triangle(w, screen_[i0], screen_[i1], screen_[i2], screen_[i0]);
                continue;
            }
            ScreenVertex provoking;
            provoking.q = 1.f;
            std::copy(vertices_[first_vertex].attr, vertices_[first_vertex].attr + attributes_.count,
                      provoking.attr);
            emit_triangle(w, screen_[i0], screen_[i1], screen_[i2], provoking);
            continue;
        }
        const uint32_t corners[3] = {i0, i1, i2};
        const ClipVertex* triangle[3] = {&vertices_[i0], &vertices_[i1], &vertices_[i2]};
        emit_polygon(w, triangle, corners, vertices_[first_vertex]);
    }
}

void Pipeline::rasterize_tiles() {
    active_tiles_.clear();
    const size_t tiles = static_cast<size_t>(tiles_x_ * tiles_y_);
    for (size_t t = 0; t < tiles; ++t)
        for (const WorkerData& w : workers_)
            if (!w.bins[t].empty()) {
                active_tiles_.push_back(static_cast<int>(t));
                break;
            }
    pool_->run(static_cast<int>(active_tiles_.size()), [&](int task, int) {
        const int t = active_tiles_[static_cast<size_t>(task)];
        const int tx = t % tiles_x_, ty = t / tiles_x_;
        const PixelRect tile{tx * tile_size, ty * tile_size, tx * tile_size + tile_size - 1,
                             ty * tile_size + tile_size - 1};
        for (const WorkerData& w : workers_) {
            for (uint32_t index : w.bins[static_cast<size_t>(t)]) {
                const Prim& prim = w.store.prims[index];
                const float* planes = w.store.planes.data() + prim.planes;
                rasterize(prim, tile,
                          [&](int y, int x0, int x1) { shade_span(pixels_, prim, planes, y, x0, x1); });
            }
        }
    });
}

bool Pipeline::validate(const PipelineState& state, const TargetView& target, uint32_t fvf) {
    error_ = "";
    layout_ = decode_fvf(fvf);
    if (!layout_.valid) layout_ = decode_fvf(fvf::xyz);
    primitive_type_ = prim_tri_list;
    if (!check_state(state, target) || !prepare_pixels(state, target)) return false;
    const char* reason = nullptr;
    if (!processor_.prepare(state, layout_, attributes_, &reason)) return fail(reason);
    return true;
}

bool Pipeline::draw(const PipelineState& state, const TargetView& target, const VertexStream& vs,
                    const IndexStream* is, const DrawRequest& request) {
    error_ = "";
    if (request.primitive_type < prim_points || request.primitive_type > prim_tri_fan)
        return fail("unknown primitive type");
    if (request.primitive_count == 0) return true;
    if (request.primitive_count > max_primitives) return fail("too many primitives");
    layout_ = decode_fvf(vs.fvf);
    if (!layout_.valid) return fail("vertex format cannot be drawn");
    if (!vs.data || vs.stride < layout_.size) return fail("vertex stride smaller than the vertex format");
    primitive_type_ = request.primitive_type;
    if (!check_state(state, target) || !prepare_pixels(state, target)) return false;
    const char* reason = nullptr;
    if (!processor_.prepare(state, layout_, attributes_, &reason)) return fail(reason);
    const uint32_t count = vertices_for(request.primitive_type, request.primitive_count);
    if (!gather_indices(vs, is, request, count)) return false;

    state_ = &state;
    primitive_type_ = request.primitive_type;
    primitive_count_ = request.primitive_count;
    samples_x_ = target.samples_x;
    samples_y_ = target.samples_y;
    const ViewportRecord& vp = state.viewport;
    const float sx = static_cast<float>(samples_x_), sy = static_cast<float>(samples_y_);
    scale_x_ = 0.5f * static_cast<float>(vp.width) * sx;
    scale_y_ = -0.5f * static_cast<float>(vp.height) * sy;
    offset_x_ = (static_cast<float>(vp.x) + 0.5f * static_cast<float>(vp.width)) * sx + 0.5f * (sx - 1.f);
    offset_y_ = (static_cast<float>(vp.y) + 0.5f * static_cast<float>(vp.height)) * sy + 0.5f * (sy - 1.f);
    depth_scale_ = vp.max_z - vp.min_z;
    depth_offset_ = vp.min_z;
    if (layout_.pretransformed) {
        clipper_.set_screen_guard_band(static_cast<float>(vp.x) - guard_pixels,
                                       static_cast<float>(vp.y) - guard_pixels,
                                       static_cast<float>(vp.x + vp.width) + guard_pixels,
                                       static_cast<float>(vp.y + vp.height) + guard_pixels);
    } else {
        clipper_.set_guard_band(1.f + guard_pixels / (0.5f * static_cast<float>(vp.width)),
                                1.f + guard_pixels / (0.5f * static_cast<float>(vp.height)));
        clipper_.set_user_planes(state.clip_planes);
    }

    setup_.scissor = {std::max(0, vp.x * samples_x_), std::max(0, vp.y * samples_y_),
                      std::min(target.color.width, (vp.x + vp.width) * samples_x_) - 1,
                      std::min(target.color.height, (vp.y + vp.height) * samples_y_) - 1};
    if (setup_.scissor.x0 > setup_.scissor.x1 || setup_.scissor.y0 > setup_.scissor.y1) return true;
    setup_.attribute_count = attributes_.count;
    setup_.depth_bias = static_cast<float>(state.z_bias) / 65536.f;
    setup_.flat = state.flat_shade;
    setup_.color_count = attributes_.specular ? 8 : 4;
    setup_.line_thickness = std::max(samples_x_, samples_y_);
    setup_.line_pattern = state.line_pattern;
    setup_.last_pixel = state.last_pixel;
    setup_.point_sprite = state.point_sprite;
    std::copy(attributes_.stage_uv, attributes_.stage_uv + max_stages, setup_.sprite_uv);
    setup_.point_scale = sx;

    process_vertices(vs);

    tiles_x_ = (target.color.width + tile_size - 1) / tile_size;
    tiles_y_ = (target.color.height + tile_size - 1) / tile_size;
    for (WorkerData& w : workers_) {
        w.store.clear();
        w.bins.resize(static_cast<size_t>(tiles_x_ * tiles_y_));
        for (auto& b : w.bins)
            b.clear();
    }
    // Several chunks per worker, so that a worker the system holds back delays the draw by one small chunk
    // rather than by its whole share.
    const uint32_t pieces =
        primitive_count_ < primitive_chunk
            ? 1u
            : std::min(static_cast<uint32_t>(pool_->size()) * 4, primitive_count_ / primitive_chunk);
    const uint32_t chunk = (primitive_count_ + pieces - 1) / pieces;
    const int chunks = static_cast<int>((primitive_count_ + chunk - 1) / chunk);
    if (workers_.size() < static_cast<size_t>(chunks)) {
        workers_.resize(static_cast<size_t>(chunks));
        for (WorkerData& w : workers_)
            w.bins.resize(static_cast<size_t>(tiles_x_ * tiles_y_));
    }
    // Chunk k is assembled into store k so that tile order follows primitive order.
    pool_->run(chunks, [&](int k, int) {
        const uint32_t first = static_cast<uint32_t>(k) * chunk;
        assemble(k, first, std::min(primitive_count_, first + chunk));
    });
    rasterize_tiles();
    return true;
}

} // namespace qcore::detail::soft
