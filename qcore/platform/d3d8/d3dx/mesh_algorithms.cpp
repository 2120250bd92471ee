#include <qcore/platform/d3d8/d3dx/mesh_algorithms.h>

#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <unordered_map>

namespace qcore::detail {
namespace {

constexpr DWORD fvf_position_mask = 0x00E;

Float3 sub(Float3 a, Float3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Float3 add(Float3 a, Float3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Float3 scale(Float3 a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
float dot(Float3 a, Float3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Float3 cross(Float3 a, Float3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Float3 normalised(Float3 a) {
    const float len = std::sqrt(dot(a, a));
    return len > 0 ? scale(a, 1.0f / len) : a;
}

class UnionFind {
public:
    explicit UnionFind(size_t n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), 0u); }
    uint32_t find(uint32_t v) {
        while (parent_[v] != v)
            v = parent_[v] = parent_[parent_[v]];
        return v;
    }
    // The smaller index stays the representative, so results do not depend on the order of unions.
    void unite(uint32_t a, uint32_t b) {
        a = find(a), b = find(b);
        if (a != b) parent_[std::max(a, b)] = std::min(a, b);
    }

private:
    std::vector<uint32_t> parent_;
};

// One representative vertex for each group of vertices at the same position (within epsilon).
std::vector<uint32_t> point_representatives(PositionView positions, size_t vertex_count, float epsilon) {
    UnionFind groups(vertex_count);
    if (epsilon <= 0) {
        struct Key {
            uint32_t x, y, z;
            bool operator==(const Key&) const = default;
        };
        struct Hash {
            size_t operator()(const Key& k) const {
                return (k.x * 73856093u) ^ (k.y * 19349663u) ^ (k.z * 83492791u);
            }
        };
        auto bits = [](float f) {
            uint32_t u;
            f = f == 0.0f ? 0.0f : f; // -0 and +0 are the same point
            std::memcpy(&u, &f, 4);
            return u;
        };
        std::unordered_map<Key, uint32_t, Hash> first;
        first.reserve(vertex_count);
        for (uint32_t v = 0; v < vertex_count; ++v) {
            const Float3 p = positions[v];
            auto [it, fresh] = first.try_emplace(Key{bits(p.x), bits(p.y), bits(p.z)}, v);
            if (!fresh) groups.unite(it->second, v);
        }
    } else {
        // Sweep along x: only vertices within epsilon in x can match.
        std::vector<uint32_t> order(vertex_count);
        std::iota(order.begin(), order.end(), 0u);
        std::sort(order.begin(), order.end(),
                  [&](uint32_t a, uint32_t b) { return positions[a].x < positions[b].x; });
        for (size_t i = 0; i < order.size(); ++i) {
            const Float3 p = positions[order[i]];
            for (size_t j = i + 1; j < order.size(); ++j) {
                const Float3 q = positions[order[j]];
                if (q.x - p.x > epsilon) break;
                if (std::fabs(q.y - p.y) <= epsilon && std::fabs(q.z - p.z) <= epsilon)
                    groups.unite(order[i], order[j]);
            }
        }
    }
    std::vector<uint32_t> rep(vertex_count);
    for (uint32_t v = 0; v < vertex_count; ++v)
        rep[v] = groups.find(v);
    return rep;
}

} // namespace

void convert_vertices(const uint8_t* src, DWORD src_fvf, uint8_t* dst, DWORD dst_fvf, size_t count) {
    const FvfLayout s = fvf_layout(src_fvf), d = fvf_layout(dst_fvf);
    if (!s.stride || !d.stride) return;
    if (src_fvf == dst_fvf) {
        std::memcpy(dst, src, count * s.stride);
        return;
    }
    const uint32_t position =
        (src_fvf & fvf_position_mask) == (dst_fvf & fvf_position_mask) ? s.position_size : 12;
    for (size_t v = 0; v < count; ++v, src += s.stride, dst += d.stride) {
        std::memset(dst, 0, d.stride);
        std::memcpy(dst, src, position);
        auto copy = [&](bool both, uint32_t from, uint32_t to, uint32_t size) {
            if (both) std::memcpy(dst + to, src + from, size);
        };
        copy(s.has_normal && d.has_normal, s.normal, d.normal, 12);
        copy(s.has_psize && d.has_psize, s.psize, d.psize, 4);
        copy(s.has_diffuse && d.has_diffuse, s.diffuse, d.diffuse, 4);
        copy(s.has_specular && d.has_specular, s.specular, d.specular, 4);
        for (uint32_t i = 0; i < std::min(s.tex_count, d.tex_count); ++i)
            copy(true, s.tex_offset[i], d.tex_offset[i], std::min(s.tex_size[i], d.tex_size[i]));
    }
}

Float3 PositionView::operator[](size_t i) const {
    Float3 p;
    std::memcpy(&p, data + i * stride, sizeof p);
    return p;
}

std::vector<uint32_t> generate_adjacency(PositionView positions, size_t vertex_count, const uint32_t* indices,
                                         size_t face_count, float epsilon) {
    const std::vector<uint32_t> rep = point_representatives(positions, vertex_count, epsilon);
    struct Edge {
        uint64_t key;   // smaller representative in the high half
        uint32_t slot;  // face * 3 + edge
        uint32_t order; // 1 when the edge runs from the smaller representative to the larger
    };
    std::vector<Edge> edges;
    edges.reserve(face_count * 3);
    for (uint32_t f = 0; f < face_count; ++f)
        for (uint32_t j = 0; j < 3; ++j) {
            const uint32_t a = rep[indices[f * 3 + j]], b = rep[indices[f * 3 + (j + 1) % 3]];
            if (a == b) continue;
            edges.push_back({uint64_t(std::min(a, b)) << 32 | std::max(a, b), f * 3 + j, a < b ? 1u : 0u});
        }
    std::sort(edges.begin(), edges.end(),
              [](const Edge& x, const Edge& y) { return x.key != y.key ? x.key < y.key : x.slot < y.slot; });
    std::vector<uint32_t> adjacency(face_count * 3, no_neighbour);
    auto link = [&](uint32_t s, uint32_t t) {
        if (s / 3 == t / 3) return;
        adjacency[s] = t / 3;
        adjacency[t] = s / 3;
    };
    std::vector<uint32_t> forward, backward;
    for (size_t i = 0; i < edges.size();) {
        size_t e = i;
        while (e < edges.size() && edges[e].key == edges[i].key)
            ++e;
        if (e - i == 2) {
            link(edges[i].slot, edges[i + 1].slot);
        } else if (e - i > 2) {
            // Non-manifold edge: opposite windings pair first, what is left pairs in order.
            forward.clear(), backward.clear();
            for (size_t k = i; k < e; ++k)
                (edges[k].order ? forward : backward).push_back(edges[k].slot);
            const size_t pairs = std::min(forward.size(), backward.size());
            for (size_t k = 0; k < pairs; ++k)
                link(forward[k], backward[k]);
            std::vector<uint32_t>& rest = forward.size() > pairs ? forward : backward;
            for (size_t k = pairs; k + 1 < rest.size(); k += 2)
                link(rest[k], rest[k + 1]);
        }
        i = e;
    }
    return adjacency;
}

std::vector<Float3> compute_normals(PositionView positions, size_t vertex_count, const uint32_t* indices,
                                    size_t face_count, const uint32_t* adjacency) {
    UnionFind corners(vertex_count);
    if (adjacency) {
        for (uint32_t f = 0; f < face_count; ++f)
            for (uint32_t j = 0; j < 3; ++j) {
                const uint32_t g = adjacency[f * 3 + j];
                if (g >= face_count) continue;
                for (uint32_t k = 0; k < 3; ++k) {
                    if (adjacency[g * 3 + k] != f) continue;
                    const uint32_t v0 = indices[f * 3 + j], v1 = indices[f * 3 + (j + 1) % 3];
                    const uint32_t w0 = indices[g * 3 + k], w1 = indices[g * 3 + (k + 1) % 3];
                    auto d = [&](uint32_t a, uint32_t b) {
                        const Float3 s = sub(positions[a], positions[b]);
                        return dot(s, s);
                    };
                    // The shared edge runs the other way in the neighbour when windings agree.
                    if (d(v0, w1) + d(v1, w0) <= d(v0, w0) + d(v1, w1))
                        corners.unite(v0, w1), corners.unite(v1, w0);
                    else
                        corners.unite(v0, w0), corners.unite(v1, w1);
                    break;
                }
            }
    }
    std::vector<Float3> sums(vertex_count, Float3{0, 0, 0});
    for (size_t f = 0; f < face_count; ++f) {
        const uint32_t* t = indices + f * 3;
        const Float3 p0 = positions[t[0]];
        // The cross product's length is twice the face's area: the sum is weighted by area.
        const Float3 n = cross(sub(positions[t[1]], p0), sub(positions[t[2]], p0));
        for (int c = 0; c < 3; ++c) {
            Float3& s = sums[corners.find(t[c])];
            s = add(s, n);
        }
    }
    std::vector<Float3> normals(vertex_count);
    for (uint32_t v = 0; v < vertex_count; ++v)
        normals[v] = normalised(sums[corners.find(v)]);
    return normals;
}

namespace {

// The faces of one attribute group in the order the cache optimiser chose. The optimiser keeps each
// triangle's indices as they were, so each output triangle is found among the faces starting at its
// first index.
void order_group_for_cache(const uint32_t* indices, size_t vertex_count, const uint32_t* faces, size_t count,
                           bool strip, uint32_t* out) {
    std::vector<uint32_t> group(count * 3), optimised(count * 3);
    for (size_t i = 0; i < count; ++i)
        std::memcpy(&group[i * 3], indices + size_t(faces[i]) * 3, 12);
    if (strip)
        meshopt_optimizeVertexCacheStrip(optimised.data(), group.data(), group.size(), vertex_count);
    else
        meshopt_optimizeVertexCache(optimised.data(), group.data(), group.size(), vertex_count);

    std::vector<uint32_t> start(vertex_count + 1, 0), local(count);
    for (size_t i = 0; i < count; ++i)
        ++start[group[i * 3] + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<uint32_t> fill(start.begin(), start.end() - 1);
    for (uint32_t i = 0; i < count; ++i)
        local[fill[group[i * 3]]++] = i;
    std::vector<bool> used(count, false);
    size_t written = 0;
    for (size_t t = 0; t < count; ++t) {
        const uint32_t* tri = &optimised[t * 3];
        for (uint32_t k = start[tri[0]]; k < start[tri[0] + 1]; ++k) {
            const uint32_t i = local[k];
            if (!used[i] && group[i * 3 + 1] == tri[1] && group[i * 3 + 2] == tri[2]) {
                used[i] = true;
                out[written++] = faces[i];
                break;
            }
        }
    }
    for (size_t i = 0; i < count && written < count; ++i)
        if (!used[i]) out[written++] = faces[i];
}

} // namespace

MeshOrder optimize_order(const uint32_t* indices, size_t face_count, size_t vertex_count,
                         const DWORD* attributes, const OptimizeRequest& request) {
    MeshOrder order;
    order.face_remap.resize(face_count);
    std::iota(order.face_remap.begin(), order.face_remap.end(), 0u);
    const bool reorder_faces = request.attribute_sort || request.vertex_cache || request.strip_order;
    const bool mixed = attributes && std::adjacent_find(attributes, attributes + face_count,
                                                        std::not_equal_to<>()) != attributes + face_count;
    if (reorder_faces && mixed)
        std::stable_sort(order.face_remap.begin(), order.face_remap.end(),
                         [&](uint32_t a, uint32_t b) { return attributes[a] < attributes[b]; });

    // The indices in the new face order, before vertices move.
    std::vector<uint32_t> by_face(face_count * 3);
    if ((request.vertex_cache || request.strip_order) && !mixed && !request.face_remap_wanted) {
        // One group and nobody asks where faces went: the optimiser's output is all that is needed.
        if (request.strip_order)
            meshopt_optimizeVertexCacheStrip(by_face.data(), indices, by_face.size(), vertex_count);
        else
            meshopt_optimizeVertexCache(by_face.data(), indices, by_face.size(), vertex_count);
        order.face_remap.clear();
    } else {
        if (request.vertex_cache || request.strip_order) {
            const std::vector<uint32_t> grouped = order.face_remap;
            for (size_t s = 0; s < face_count;) {
                size_t e = s + 1;
                while (e < face_count && attributes[grouped[e]] == attributes[grouped[s]])
                    ++e;
                order_group_for_cache(indices, vertex_count, grouped.data() + s, e - s, request.strip_order,
                                      order.face_remap.data() + s);
                s = e;
            }
        }
        for (size_t i = 0; i < face_count; ++i)
            std::memcpy(&by_face[i * 3], indices + size_t(order.face_remap[i]) * 3, 12);
    }

    std::vector<uint32_t> old_to_new(vertex_count);
    if (request.ignore_vertices || (!reorder_faces && !request.compact)) {
        std::iota(old_to_new.begin(), old_to_new.end(), 0u);
    } else if (reorder_faces) {
        // First use in the new face order; unused vertices get ~0.
        meshopt_optimizeVertexFetchRemap(old_to_new.data(), by_face.data(), by_face.size(), vertex_count);
    } else {
        std::vector<bool> used(vertex_count, false);
        for (uint32_t v : by_face)
            used[v] = true;
        uint32_t next = 0;
        for (size_t v = 0; v < vertex_count; ++v)
            old_to_new[v] = used[v] ? next++ : ~0u;
    }
    size_t kept = 0;
    for (uint32_t n : old_to_new)
        if (n != ~0u) ++kept;
    // Without compaction the unused vertices keep their place after the used ones.
    if (!request.compact)
        for (uint32_t& n : old_to_new)
            if (n == ~0u) n = uint32_t(kept++);
    order.vertex_remap.assign(kept, 0);
    for (uint32_t v = 0; v < vertex_count; ++v)
        if (old_to_new[v] != ~0u) order.vertex_remap[old_to_new[v]] = v;
    order.indices.resize(face_count * 3);
    for (size_t i = 0; i < by_face.size(); ++i)
        order.indices[i] = old_to_new[by_face[i]];
    return order;
}

double acmr(const uint32_t* indices, size_t face_count, size_t vertex_count, unsigned cache_size) {
    return meshopt_analyzeVertexCache(indices, face_count * 3, vertex_count, cache_size, 0, 0).acmr;
}

namespace {

class ShapeBuilder {
public:
    uint32_t vertex(Float3 p, Float3 n) {
        mesh.positions.push_back(p);
        mesh.normals.push_back(normalised(n));
        return uint32_t(mesh.positions.size() - 1);
    }
    // Adds the triangle with its front (clockwise) side facing `outward`.
    void face(uint32_t a, uint32_t b, uint32_t c, Float3 outward) {
        const Float3 pa = mesh.positions[a];
        const Float3 n = cross(sub(mesh.positions[b], pa), sub(mesh.positions[c], pa));
        if (dot(n, outward) < 0) std::swap(b, c);
        mesh.indices.insert(mesh.indices.end(), {a, b, c});
    }
    void quad(uint32_t a, uint32_t b, uint32_t c, uint32_t d, Float3 outward) {
        face(a, b, c, outward);
        face(a, c, d, outward);
    }
    Float3 centroid(uint32_t a, uint32_t b, uint32_t c) const {
        return scale(add(add(mesh.positions[a], mesh.positions[b]), mesh.positions[c]), 1.0f / 3);
    }
    ShapeMesh mesh;
};

constexpr float two_pi = 6.28318530717958647692f;

} // namespace

ShapeMesh make_box(float width, float height, float depth) {
    ShapeBuilder b;
    const Float3 half{width / 2, height / 2, depth / 2};
    const Float3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int axis = 0; axis < 3; ++axis)
        for (float sign : {-1.0f, 1.0f}) {
            const Float3 n = scale(axes[axis], sign);
            const Float3 u = axes[(axis + 1) % 3], v = axes[(axis + 2) % 3];
            uint32_t corner[4];
            const float su[4] = {-1, -1, 1, 1}, sv[4] = {-1, 1, 1, -1};
            for (int k = 0; k < 4; ++k) {
                const Float3 p = add(add(n, scale(u, su[k])), scale(v, sv[k]));
                corner[k] = b.vertex({p.x * half.x, p.y * half.y, p.z * half.z}, n);
            }
            b.quad(corner[0], corner[1], corner[2], corner[3], n);
        }
    return std::move(b.mesh);
}

ShapeMesh make_sphere(float radius, uint32_t slices, uint32_t stacks) {
    ShapeBuilder b;
    const uint32_t top = b.vertex({0, 0, radius}, {0, 0, 1});
    for (uint32_t i = 1; i < stacks; ++i) {
        const float theta = 0.5f * two_pi * float(i) / float(stacks);
        for (uint32_t j = 0; j < slices; ++j) {
            const float phi = two_pi * float(j) / float(slices);
            const Float3 n{std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta)};
            b.vertex(scale(n, radius), n);
        }
    }
    const uint32_t bottom = b.vertex({0, 0, -radius}, {0, 0, -1});
    auto ring = [&](uint32_t i, uint32_t j) { return 1 + (i - 1) * slices + j % slices; };
    for (uint32_t j = 0; j < slices; ++j) {
        b.face(top, ring(1, j), ring(1, j + 1), b.centroid(top, ring(1, j), ring(1, j + 1)));
        for (uint32_t i = 1; i + 1 < stacks; ++i) {
            const uint32_t a = ring(i, j), c = ring(i + 1, j + 1);
            b.quad(a, ring(i + 1, j), c, ring(i, j + 1), b.centroid(a, ring(i + 1, j), c));
        }
        const uint32_t l = stacks - 1;
        b.face(bottom, ring(l, j), ring(l, j + 1), b.centroid(bottom, ring(l, j), ring(l, j + 1)));
    }
    return std::move(b.mesh);
}

ShapeMesh make_cylinder(float radius1, float radius2, float length, uint32_t slices, uint32_t stacks) {
    ShapeBuilder b;
    const float z0 = -length / 2;
    auto at = [&](uint32_t j) { return two_pi * float(j) / float(slices); };
    // Caps: a centre and a ring each, facing down the axis.
    for (int end = 0; end < 2; ++end) {
        const float z = end ? -z0 : z0, r = end ? radius2 : radius1;
        const Float3 n{0, 0, end ? 1.0f : -1.0f};
        const uint32_t centre = b.vertex({0, 0, z}, n);
        for (uint32_t j = 0; j < slices; ++j)
            b.vertex({r * std::cos(at(j)), r * std::sin(at(j)), z}, n);
        for (uint32_t j = 0; j < slices; ++j)
            b.face(centre, centre + 1 + j, centre + 1 + (j + 1) % slices, n);
    }
    // Sides: stacks + 1 rings whose normals lean by the cone's slope.
    const uint32_t first = uint32_t(b.mesh.positions.size());
    const float slope = length != 0 ? (radius1 - radius2) / length : 0;
    for (uint32_t i = 0; i <= stacks; ++i) {
        const float t = float(i) / float(stacks), r = radius1 + (radius2 - radius1) * t;
        for (uint32_t j = 0; j < slices; ++j)
            b.vertex({r * std::cos(at(j)), r * std::sin(at(j)), z0 + length * t},
                     {std::cos(at(j)), std::sin(at(j)), slope});
    }
    auto side = [&](uint32_t i, uint32_t j) { return first + i * slices + j % slices; };
    for (uint32_t i = 0; i < stacks; ++i)
        for (uint32_t j = 0; j < slices; ++j) {
            const float mid = (at(j) + at(j + 1)) / 2;
            b.quad(side(i, j), side(i + 1, j), side(i + 1, j + 1), side(i, j + 1),
                   {std::cos(mid), std::sin(mid), 0});
        }
    return std::move(b.mesh);
}

ShapeMesh make_torus(float inner_radius, float outer_radius, uint32_t sides, uint32_t rings) {
    ShapeBuilder b;
    for (uint32_t i = 0; i < rings; ++i) {
        const float theta = two_pi * float(i) / float(rings);
        const Float3 centre{outer_radius * std::cos(theta), outer_radius * std::sin(theta), 0};
        for (uint32_t j = 0; j < sides; ++j) {
            const float phi = two_pi * float(j) / float(sides);
            const Float3 n{std::cos(phi) * std::cos(theta), std::cos(phi) * std::sin(theta), std::sin(phi)};
            b.vertex(add(centre, scale(n, inner_radius)), n);
        }
    }
    auto at = [&](uint32_t i, uint32_t j) { return (i % rings) * sides + j % sides; };
    for (uint32_t i = 0; i < rings; ++i)
        for (uint32_t j = 0; j < sides; ++j) {
            const uint32_t q[4] = {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
            Float3 outward{0, 0, 0};
            for (uint32_t v : q)
                outward = add(outward, b.mesh.normals[v]);
            b.quad(q[0], q[1], q[2], q[3], outward);
        }
    return std::move(b.mesh);
}

} // namespace qcore::detail
