#include <qcore/mesh/buffer_proxy.h>
#include <qcore/mesh/raw_mesh.h>
#include <qcore/platform/win32/message_box.h>

void CRawMesh::clear() {
    vertices.clear();
    faces.clear();
    planes.clear();
    attributes.clear();
}

void CRawMesh::fill_with_mesh(CMyComPtr<ID3DXMesh> mesh, int attribute) {
    if (!mesh) return;
    if (!fill_vb_with_mesh(mesh) || !fill_ib_with_mesh(mesh, attribute)) {
        clear();
        return;
    }
    refresh_planes();
}

bool CRawMesh::fill_vb_with_mesh(CMyComPtr<ID3DXMesh> mesh) {
    CVbProxy vb(mesh.get());
    if (!vb.p()) return false;
    vertices.resize(static_cast<size_t>(vb.get_ver_count()));
    for (size_t i = 0; i < vertices.size(); ++i)
        vertices[i] = vb.Position(static_cast<int>(i));
    return true;
}

bool CRawMesh::fill_ib_with_mesh(CMyComPtr<ID3DXMesh> mesh, int attribute) {
    CIbProxy ib(mesh.get());
    if (!ib.p()) return false;
    const size_t count = static_cast<size_t>(ib.get_face_count());
    faces.resize(count);
    attributes.resize(count, static_cast<BYTE>(attribute & 0xFF));
    if (ib.is32bit()) {
        const auto* p = reinterpret_cast<const DWORD*>(ib.p());
        for (size_t i = 0; i < count; ++i)
            faces[i] = CFace(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
    } else {
        const auto* p = reinterpret_cast<const WORD*>(ib.p());
        for (size_t i = 0; i < count; ++i)
            faces[i] = CFace(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
    }
    return true;
}

void CRawMesh::append_raw_mesh(const CRawMesh& other) {
    if (&other == this) {
        const CRawMesh copy = other; // the vectors read from would grow under the append
        append_raw_mesh(copy);
        return;
    }
    const DWORD base = static_cast<DWORD>(vertices.size());
    const size_t first_face = faces.size();
    vertices.insert(vertices.end(), other.vertices.begin(), other.vertices.end());
    faces.reserve(faces.size() + other.faces.size());
    for (const CFace& f : other.faces)
        faces.emplace_back(f.a + base, f.b + base, f.c + base);
    attributes.insert(attributes.end(), other.attributes.begin(), other.attributes.end());
    if (!planes.empty()) build_planes_from(planes.size() == first_face ? first_face : 0);
}

void CRawMesh::transf_vb(const MAT& m) {
    for (VEC& v : vertices)
        v.transf_self(m);
    refresh_planes();
}

void CRawMesh::reverse_face() {
    for (CFace& f : faces)
        std::swap(f.b, f.c);
    refresh_planes();
}

void CRawMesh::build_planes() {
    build_planes_from(0);
}

void CRawMesh::build_planes_from(size_t first) {
    planes.resize(faces.size());
    for (size_t i = first; i < faces.size(); ++i) {
        const CFace& f = faces[i];
        if (!f.is_below(vertices.size())) {
            planes[i] = plane();
            continue;
        }
        planes[i].build_from_points(vertices[f.a], vertices[f.b], vertices[f.c]);
    }
}

int CRawMesh::is_raw_mesh_valid() {
    AfxMessageBox("Don't call is_raw_mesh_valid in runtime!");
    return 1;
}

int CRawMesh::are_indices_valid() const {
    for (const CFace& f : faces)
        if (!f.is_below(vertices.size())) return 0;
    return 1;
}
