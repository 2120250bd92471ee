#include <qcore/core/device.h>
#include <qcore/core/rs_man.h>
#include <qcore/core/simp_draw.h>
#include <qcore/data/log.h>
#include <qcore/data/wait_window.h>
#include <qcore/geom/octree.h>
#include <qcore/geom/octree_layout.h>

#include <algorithm>
#include <bit>
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
    qcore::detail::OctLayoutBuild layout(*mesh);
    root->cell = layout.add_cells(1);
    root->layout = layout.get();
    if (!root->CanSplit(max_faces, max_depth)) layout.set_leaf(root->cell, root->box, root->faces);
    std::vector<COctNode*> level{root}, next;
    while (!level.empty()) {
        progress.tick();
        next.clear();
        for (auto it = level.rbegin(); it != level.rend(); ++it) {
            COctNode* n = *it;
            if (n->Split(max_faces, max_depth, &budget, &layout))
                next.insert(next.end(), n->children.begin(), n->children.end());
            else if (n->CanSplit(max_faces, max_depth)) // refused: it stays a leaf after all
                layout.set_leaf(n->cell, n->box, n->faces);
        }
        std::swap(level, next);
    }
    layout.finish();
    return root;
}

bool COctNode::CanSplit(int max_faces, int max_depth) const {
    // A cell of no size (every face in one point) or of infinite size cannot separate anything.
    return static_cast<long long>(faces.size()) > max_faces && depth <= max_depth &&
           depth < COctree::deepest + 1 && finite_box(box) && box.get_max_len() > 0.0f;
}

bool COctNode::Split(int max_faces, int max_depth, size_t* budget,
                     qcore::detail::OctLayoutBuild* layout_build) {
    if (!CanSplit(max_faces, max_depth)) return false;
    const VEC centre = (box.min + box.max) * 0.5f;
    // CBox::triangle_test of child i holds unless, on some axis, all three vertices lie below the child's
    // half of the cell or all lie above it: the face's bounds (a NaN coordinate reads below) overlap that
    // half on every axis. Bit i of a half's mask stands for octant i. The octants are counted first, so
    // that a refused split allocates nothing and each child's list is allocated once.
    const float lo[3] = {box.min.x, box.min.y, box.min.z}, mid[3] = {centre.x, centre.y, centre.z},
                hi[3] = {box.max.x, box.max.y, box.max.z};
    static constexpr unsigned lower_half[3] = {0x55, 0x33, 0x0F};
    const qcore::detail::OctFaceBound* bounds = layout_build ? layout_build->face_bounds() : nullptr;
    std::vector<uint8_t> own;
    std::vector<uint8_t>& octants = layout_build ? layout_build->scratch() : own;
    octants.resize(faces.size());
    size_t counts[8] = {}, references = 0;
    // The face records are read in face order but far apart; fetched some faces ahead.
    constexpr size_t ahead = 8;
    for (size_t j = 0; j < faces.size(); ++j) {
        const DWORD f = faces[j];
        if (bounds && j + ahead < faces.size()) __builtin_prefetch(&bounds[faces[j + ahead]]);
        const qcore::detail::OctFaceBound b = bounds ? bounds[f] : qcore::detail::OctFaceBound(*mesh, f);
        unsigned in = 0xFF;
        for (int k = 0; k < 3; ++k) {
            const bool lower = b.hi[k] >= lo[k] && b.lo[k] <= mid[k];
            const bool upper = b.hi[k] >= mid[k] && b.lo[k] <= hi[k];
            in &= (lower ? lower_half[k] : 0u) | (upper ? ~lower_half[k] & 0xFFu : 0u);
        }
        octants[j] = static_cast<uint8_t>(in);
        for (; in; in &= in - 1)
            ++counts[std::countr_zero(in)];
    }
    for (size_t c : counts)
        references += c;
    const bool over_budget = budget && references > faces.size() && references - faces.size() > *budget;
    if (references == 0 || over_budget) return false;
    COctNode* made[8] = {};
    children.reserve(static_cast<size_t>(std::count_if(counts, counts + 8, [](size_t c) { return c > 0; })));
    for (int i = 0; i < 8; ++i) {
        if (!counts[i]) continue;
        made[i] = new COctNode;
        made[i]->depth = depth + 1;
        made[i]->mesh = mesh;
        made[i]->box = box.get_split_box(centre, i);
        made[i]->faces.reserve(counts[i]);
        children.push_back(made[i]);
    }
    for (size_t j = 0; j < faces.size(); ++j)
        for (unsigned in = octants[j]; in; in &= in - 1)
            made[std::countr_zero(in)]->faces.push_back(faces[j]);
    if (budget) *budget -= std::min(*budget, references - std::min(references, faces.size()));
    faces.clear();
    faces.shrink_to_fit();
    if (layout_build) {
        const uint32_t first = layout_build->add_cells(children.size());
        layout_build->set_children(cell, first, children.size());
        for (size_t i = 0; i < children.size(); ++i) {
            COctNode* c = children[i];
            c->cell = first + static_cast<uint32_t>(i);
            c->layout = layout_build->get();
            if (!c->CanSplit(max_faces, max_depth)) layout_build->set_leaf(c->cell, c->box, c->faces);
        }
    }
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
