#include <qcore/core/device.h>
#include <qcore/core/rs_man.h>
#include <qcore/core/simp_draw.h>
#include <qcore/data/log.h>
#include <qcore/data/wait_window.h>
#include <qcore/geom/octree.h>
#include <qcore/geom/octree_layout.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

namespace {

// Face references the whole tree may hold, as a multiple of the face count: the conservative split test
// copies a face into every octant it may touch, and large faces in small cells would otherwise multiply
// without bound.
constexpr size_t budget_per_face = 16;
constexpr size_t budget_floor = 4096;

bool finite(const VEC& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool finite_box(const CBox& b) {
    return finite(b.min) && finite(b.max);
}

} // namespace

COctNode::COctNode(const COctNode& o)
    : box(o.box), depth(o.depth), faces(o.faces), mesh(o.mesh), layout(o.layout), cell(o.cell) {
    children.reserve(o.children.size());
    for (const COctNode* c : o.children)
        children.push_back(new COctNode(*c));
}

COctNode& COctNode::operator=(const COctNode& o) {
    if (this == &o) return *this;
    COctNode copy(o);
    std::swap(children, copy.children);
    box = o.box;
    depth = o.depth;
    faces = o.faces;
    mesh = o.mesh;
    layout = o.layout;
    cell = o.cell;
    return *this;
}

COctNode::~COctNode() {
    for (COctNode* c : children)
        delete c;
}

void COctNode::retarget(CRawMesh* m) {
    std::vector<COctNode*> work{this};
    while (!work.empty()) {
        COctNode* n = work.back();
        work.pop_back();
        n->mesh = m;
        work.insert(work.end(), n->children.begin(), n->children.end());
    }
}

COctNode* COctNode::BuildOcTree(CRawMesh* mesh, int max_faces, int max_depth, float y_scale,
                                CBaseStatus* status) {
    CMyWaitCursor wait;
    if (!(y_scale > 0.0f) || !std::isfinite(y_scale)) y_scale = 1.0f;
    max_depth = std::min(max_depth, COctree::deepest);

    auto* root = new COctNode;
    root->depth = 0;
    root->mesh = mesh;
    const size_t vertex_count = mesh->vertices.size();
    root->faces.reserve(mesh->faces.size());
    for (size_t i = 0; i < mesh->faces.size(); ++i)
        if (mesh->faces[i].is_below(vertex_count)) root->faces.push_back(static_cast<DWORD>(i));

    CBox tight = CBox::create_box(&mesh->vertices, false);
    tight.min.y /= y_scale;
    tight.max.y /= y_scale;
    root->box = CBox(tight.center(), tight.get_max_len() * 0.5f);
    root->box.min.y *= y_scale;
    root->box.max.y *= y_scale;

    CBaseStatus quiet;
    CProgressBar progress(status ? status : &quiet, std::max(max_depth, 0) + 1, "Update Collision Data...");
    size_t budget = root->faces.size() * budget_per_face + budget_floor;
    std::vector<COctNode*> level{root}, next;
    while (!level.empty()) {
        progress.tick();
        next.clear();
        for (auto it = level.rbegin(); it != level.rend(); ++it)
            if ((*it)->Split(max_faces, max_depth, &budget))
                next.insert(next.end(), (*it)->children.begin(), (*it)->children.end());
        std::swap(level, next);
    }
    lay_out(root);
    return root;
}

void COctNode::lay_out(COctNode* root) {
    auto out = std::make_shared<qcore::detail::OctLayout>();
    std::vector<COctNode*> order;
    qcore::detail::OctLayout::build(root, *root->mesh, order, *out);
    for (size_t i = 0; i < order.size(); ++i) {
        order[i]->cell = static_cast<uint32_t>(i);
        order[i]->layout = out;
    }
}

bool COctNode::CanSplit(int max_faces, int max_depth) const {
    // A cell of no size (every face in one point) or of infinite size cannot separate anything.
    return static_cast<long long>(faces.size()) > max_faces && depth <= max_depth &&
           depth < COctree::deepest + 1 && finite_box(box) && box.get_max_len() > 0.0f;
}

namespace {

// For one axis of a vertex, the out-code bits (1: below, 2: above) against the lower half [lo, mid] and the
// upper half [mid, hi] of a cell, compared exactly as CBox::get_position_code compares (NaN reads below).
inline void half_codes(float p, float lo, float mid, float hi, unsigned& low, unsigned& high) {
    low = (p >= lo ? 0u : 1u) | (p > mid ? 2u : 0u);
    high = (p >= mid ? 0u : 1u) | (p > hi ? 2u : 0u);
}

} // namespace

bool COctNode::Split(int max_faces, int max_depth, size_t* budget) {
    if (!CanSplit(max_faces, max_depth)) return false;
    const VEC centre = (box.min + box.max) * 0.5f;
    COctNode* made[8] = {};
    for (int i = 0; i < 8; ++i) {
        made[i] = new COctNode;
        made[i]->depth = depth + 1;
        made[i]->mesh = mesh;
        made[i]->box = box.get_split_box(centre, i);
    }
    // CBox::triangle_test of child i holds when the three vertices' out-codes against it share no bit. The
    // out-code bits of different axes are disjoint, so their common bits are, per axis, the common bits of
    // that axis against the child's half: one pass over the faces serves all eight children.
    size_t references = 0;
    for (DWORD f : faces) {
        const CFace& t = mesh->faces[f];
        const VEC* v[3] = {&mesh->vertices[t.a], &mesh->vertices[t.b], &mesh->vertices[t.c]};
        unsigned common[3][2] = {{3, 3}, {3, 3}, {3, 3}};
        for (const VEC* p : v) {
            unsigned low, high;
            half_codes(p->x, box.min.x, centre.x, box.max.x, low, high);
            common[0][0] &= low;
            common[0][1] &= high;
            half_codes(p->y, box.min.y, centre.y, box.max.y, low, high);
            common[1][0] &= low;
            common[1][1] &= high;
            half_codes(p->z, box.min.z, centre.z, box.max.z, low, high);
            common[2][0] &= low;
            common[2][1] &= high;
        }
        for (int i = 0; i < 8; ++i)
            if ((common[0][i & 1] | common[1][(i >> 1) & 1] | common[2][(i >> 2) & 1]) == 0) {
                made[i]->faces.push_back(f);
                ++references;
            }
    }
    std::vector<COctNode*> kept;
    for (COctNode* c : made) {
        if (c->faces.empty())
            delete c;
        else
            kept.push_back(c);
    }
    const bool over_budget = budget && references > faces.size() && references - faces.size() > *budget;
    if (kept.empty() || over_budget) {
        for (COctNode* c : kept)
            delete c;
        return false;
    }
    if (budget) *budget -= std::min(*budget, references - std::min(references, faces.size()));
    children = std::move(kept);
    faces.clear();
    faces.shrink_to_fit();
    return true;
}

void COctNode::GetPossibleIntersectedTriangles(const CRayForBox& ray, float t0, float t1,
                                               std::vector<DWORD>& out) const {
    if (!box.line_box_test(ray, t0, t1)) return;
    if (children.empty()) {
        out.insert(out.end(), faces.begin(), faces.end());
        return;
    }
    for (const COctNode* c : children)
        c->GetPossibleIntersectedTriangles(ray, t0, t1, out);
}

bool COctNode::RayTest(const CRayForBox& ray, float t0, float t1, std::vector<OCTREE_INT_ITEM>& hits) const {
    if (layout) qcore::detail::oct_ray_all(*layout, cell, ray, t0, t1, hits);
    return !hits.empty();
}

bool COctNode::RayTestNearest(const CRayForBox& ray, float t0, float t1, OCTREE_INT_ITEM& hit) const {
    return layout && qcore::detail::oct_ray_nearest(*layout, cell, ray, t0, t1, hit);
}

void COctNode::find_possible_faces_int_with_box(const CBox& query, std::vector<DWORD>& out) {
    if (!box.int_with_box(query)) return;
    if (children.empty()) {
        out.insert(out.end(), faces.begin(), faces.end());
        return;
    }
    std::vector<const COctNode*> stack{this};
    while (!stack.empty()) {
        const COctNode* n = stack.back();
        stack.pop_back();
        for (const COctNode* c : n->children) {
            if (!c->box.int_with_box(query)) continue;
            if (c->children.empty())
                out.insert(out.end(), c->faces.begin(), c->faces.end());
            else
                stack.push_back(c);
        }
    }
}

void COctNode::EnumAllChildren(std::vector<const COctNode*>& nodes) const {
    nodes.clear();
    std::vector<const COctNode*> work{this};
    while (!work.empty()) {
        const COctNode* n = work.back();
        work.pop_back();
        nodes.push_back(n);
        work.insert(work.end(), n->children.begin(), n->children.end());
    }
}

void COctNode::GetDesc(OCTREE_DESC& d) const {
    // The record's fields are 32-bit; counts beyond that stop at the largest int instead of wrapping.
    const auto add = [](int& field, long long amount) {
        field = static_cast<int>(std::min<long long>(INT_MAX, field + amount));
    };
    d = OCTREE_DESC{};
    d.max_leaf_faces = INT_MIN;
    d.min_leaf_faces = INT_MAX;
    std::vector<const COctNode*> nodes;
    EnumAllChildren(nodes);
    for (const COctNode* n : nodes) {
        add(d.node_count, 1);
        if (n->depth >= 0 && n->depth < 32) add(d.depth_counts[n->depth], 1);
        d.max_depth = std::max(d.max_depth, n->depth);
        if (!n->children.empty()) continue;
        const long long count = static_cast<long long>(n->faces.size());
        add(d.total_leaf_faces, count);
        d.max_leaf_faces =
            static_cast<int>(std::max<long long>(d.max_leaf_faces, std::min<long long>(count, INT_MAX)));
        d.min_leaf_faces = static_cast<int>(std::min<long long>(d.min_leaf_faces, count));
    }
}

void COctNode::Render(gCore* core, const MAT& world, int colour, bool recurse, bool draw_faces) const {
    if (recurse)
        for (const COctNode* c : children)
            c->Render(core, world, colour, recurse, draw_faces);
    box.Render(core, 0, &world, colour, true, true, D3DCMP_LESSEQUAL);
    if (!draw_faces || faces.empty() || !core || !core->dev || !core->dev->get_dev() ||
        !core->dev->get_rs_man())
        return;
    IDirect3DDevice8* device = core->dev->get_dev();
    CRsMan* rs = core->dev->get_rs_man();
    const DWORD old_lighting = rs->set_rs(D3DRS_LIGHTING, FALSE);
    const DWORD old_zenable = rs->set_rs(D3DRS_ZENABLE, TRUE);
    const DWORD old_zwrite = rs->set_rs(D3DRS_ZWRITEENABLE, FALSE);
    const DWORD old_blend = rs->set_rs(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
    device->SetVertexShader(FVF_XYZ_DIF);
    static const WORD edges[6] = {0, 1, 1, 2, 2, 0};
    for (DWORD f : faces) {
        const CFace& t = mesh->faces[f];
        VER_XYZ_DIF v[3];
        for (int k = 0; k < 3; ++k) {
            const VEC& p = mesh->vertices[t[k]];
            v[k] = {p.x, p.y, p.z, 0x0000FF00};
        }
        device->DrawIndexedPrimitiveUP(D3DPT_LINELIST, 0, 3, 3, edges, D3DFMT_INDEX16, v,
                                       sizeof(VER_XYZ_DIF));
    }
    rs->set_rs(D3DRS_LIGHTING, old_lighting);
    rs->set_rs(D3DRS_ZENABLE, old_zenable);
    rs->set_rs(D3DRS_ZWRITEENABLE, old_zwrite);
    rs->set_rs(D3DRS_ALPHABLENDENABLE, old_blend);
    MAT identity;
    D3DXMatrixIdentity(&identity);
    device->SetTransform(D3DTS_WORLD, &identity);
}

COctree::COctree(const COctree& o) {
    *this = o;
}

COctree& COctree::operator=(const COctree& o) {
    if (this == &o) return *this;
    free();
    own_mesh = o.own_mesh;
    max_faces = o.max_faces;
    max_depth = o.max_depth;
    mesh = o.own_mesh && o.mesh ? new CRawMesh(*o.mesh) : o.mesh;
    if (o.root) {
        root = new COctNode(*o.root);
        root->retarget(mesh);
    }
    marks.Resize(o.marks.GetSize(), 0);
    return *this;
}

void COctree::free() {
    if (own_mesh) delete mesh;
    mesh = nullptr;
    delete root;
    root = nullptr;
}

void COctree::build_from_vbib(CRawMesh& source, int faces_per_leaf, int depth_limit, int copy_mesh,
                              float y_scale, CBaseStatus* status) {
    free();
    own_mesh = copy_mesh;
    max_faces = faces_per_leaf;
    max_depth = std::min(depth_limit, deepest);
    mesh = copy_mesh ? new CRawMesh(source) : &source;
    root = COctNode::BuildOcTree(mesh, max_faces, max_depth, y_scale, status);
    marks.Resize(static_cast<int>(std::min<size_t>(mesh->faces.size(), INT_MAX)), 0);
}

VEC COctree::cal_int_detail(const OCTREE_INT_ITEM& hit) const {
    if (!mesh || hit.face >= mesh->faces.size()) return VEC(0, 0, 0);
    const CFace& f = mesh->faces[hit.face];
    if (!f.is_below(mesh->vertices.size())) return VEC(0, 0, 0);
    const VEC& a = mesh->vertices[f.a];
    return a + (mesh->vertices[f.b] - a) * hit.u + (mesh->vertices[f.c] - a) * hit.v;
}

void COctree::remove_equal_faces(const std::vector<DWORD>& in, std::vector<DWORD>& out) {
    const size_t first = out.size();
    const DWORD size = static_cast<DWORD>(marks.GetSize());
    for (DWORD f : in) {
        if (f >= size || marks.IsSet(static_cast<int>(f))) continue;
        marks.Set(static_cast<int>(f));
        out.push_back(f);
    }
    for (size_t i = first; i < out.size(); ++i)
        marks.UnSet(static_cast<int>(out[i]));
}
