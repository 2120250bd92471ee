#include <qcore/data/log.h>
#include <qcore/data/wait_window.h>
#include <qcore/geom/octree.h>

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

bool finite_box(const CBox& b) {
    return std::isfinite(b.min.x) && std::isfinite(b.min.y) && std::isfinite(b.min.z) &&
           std::isfinite(b.max.x) && std::isfinite(b.max.y) && std::isfinite(b.max.z);
}

} // namespace

COctNode::COctNode(const COctNode& o) : box(o.box), depth(o.depth), faces(o.faces), mesh(o.mesh) {
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
    return root;
}

bool COctNode::CanSplit(int max_faces, int max_depth) const {
    // A cell of no size (every face in one point) or of infinite size cannot separate anything.
    return static_cast<long long>(faces.size()) > max_faces && depth <= max_depth &&
           depth < COctree::deepest + 1 && finite_box(box) && box.get_max_len() > 0.0f;
}

bool COctNode::Split(int max_faces, int max_depth, size_t* budget) {
    if (!CanSplit(max_faces, max_depth)) return false;
    const VEC centre = (box.min + box.max) * 0.5f;
    std::vector<COctNode*> made;
    size_t references = 0;
    for (int i = 0; i < 8; ++i) {
        auto* child = new COctNode;
        child->depth = depth + 1;
        child->mesh = mesh;
        child->box = box.get_split_box(centre, i);
        for (DWORD f : faces) {
            const CFace& t = mesh->faces[f];
            if (child->box.triangle_test(mesh->vertices[t.a], mesh->vertices[t.b], mesh->vertices[t.c]))
                child->faces.push_back(f);
        }
        references += child->faces.size();
        if (child->faces.empty())
            delete child;
        else
            made.push_back(child);
    }
    const bool over_budget = budget && references > faces.size() && references - faces.size() > *budget;
    if (made.empty() || over_budget) {
        for (COctNode* c : made)
            delete c;
        return false;
    }
    if (budget) *budget -= std::min(*budget, references - std::min(references, faces.size()));
    children = std::move(made);
    faces.clear();
    faces.shrink_to_fit();
    return true;
}

bool COctNode::intersect(DWORD face, const CRayForBox& ray, OCTREE_INT_ITEM& hit) const {
    const CFace& t = mesh->faces[face];
    if (!D3DXIntersectTri(&mesh->vertices[t.a], &mesh->vertices[t.b], &mesh->vertices[t.c], &ray.origin,
                          &ray.dir, &hit.u, &hit.v, &hit.dist))
        return false;
    hit.face = face;
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
    thread_local std::vector<DWORD> candidates;
    candidates.clear();
    GetPossibleIntersectedTriangles(ray, t0, t1, candidates);
    if (candidates.empty()) return false;
    OCTREE_INT_ITEM hit;
    for (DWORD f : candidates)
        if (intersect(f, ray, hit)) hits.push_back(hit);
    return !hits.empty();
}

void COctNode::nearest(const CRayForBox& ray, float t0, float t1, OCTREE_INT_ITEM& best, bool& found) const {
    if (children.empty()) {
        OCTREE_INT_ITEM hit;
        for (DWORD f : faces)
            if (intersect(f, ray, hit) && (!found || hit.dist < best.dist)) {
                best = hit;
                found = true;
            }
        return;
    }
    // Children front to back by where the ray enters them; none after a nearer hit can hold a nearer one,
    // since a hit lies in a cell the ray enters no later than the hit.
    std::pair<float, const COctNode*> order[8];
    int count = 0;
    for (const COctNode* c : children) {
        float tnear, tfar;
        if (!c->box.ray_interval(ray, tnear, tfar) || !(tnear < t1 && t0 < tfar)) continue;
        int at = count++; // insertion by entry distance: at most eight
        for (; at > 0 && order[at - 1].first > tnear; --at)
            order[at] = order[at - 1];
        order[at] = {tnear, c};
    }
    for (int i = 0; i < count; ++i) {
        if (found && order[i].first > best.dist) break;
        order[i].second->nearest(ray, t0, t1, best, found);
    }
}

bool COctNode::RayTestNearest(const CRayForBox& ray, float t0, float t1, OCTREE_INT_ITEM& hit) const {
    if (!box.line_box_test(ray, t0, t1)) return false;
    bool found = false;
    OCTREE_INT_ITEM best;
    nearest(ray, t0, t1, best, found);
    if (found) hit = best;
    return found;
}

void COctNode::find_possible_faces_int_with_box(const CBox& query, std::vector<DWORD>& out) {
    if (!box.int_with_box(query)) return;
    if (children.empty()) {
        out.insert(out.end(), faces.begin(), faces.end());
        return;
    }
    stack.clear();
    stack.push_back(this);
    while (!stack.empty()) {
        COctNode* n = stack.back();
        stack.pop_back();
        for (COctNode* c : n->children) {
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
    d = OCTREE_DESC{};
    d.max_leaf_faces = INT_MIN;
    d.min_leaf_faces = INT_MAX;
    std::vector<const COctNode*> nodes;
    EnumAllChildren(nodes);
    for (const COctNode* n : nodes) {
        ++d.node_count;
        if (n->depth >= 0 && n->depth < 32) ++d.depth_counts[n->depth];
        d.max_depth = std::max(d.max_depth, n->depth);
        if (!n->children.empty()) continue;
        const int count = static_cast<int>(n->faces.size());
        d.total_leaf_faces += count;
        d.max_leaf_faces = std::max(d.max_leaf_faces, count);
        d.min_leaf_faces = std::min(d.min_leaf_faces, count);
    }
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
