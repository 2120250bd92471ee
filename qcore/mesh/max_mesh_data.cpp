#include <qcore/data/node_fields.h>
#include <qcore/mesh/max_mesh_data.h>

#include <climits>
#include <cstdio>

using qcore::detail::read_buffer;
using qcore::detail::read_field;

namespace {

const char* const type_name = "MaxOriginMesh";

CString channel_name(const char* prefix, size_t channel) {
    CString name;
    name.Format("%s%d", prefix, static_cast<int>(channel));
    return name;
}

template <class T>
void write_buffer(CPakNode* dir, const char* name, const std::vector<T>& values, WORD kind) {
    const size_t bytes = values.size() * sizeof(T);
    if (bytes > INT_MAX) return;
    dir->create_buf_node(name, values.data(), static_cast<int>(bytes), kind);
}

bool faces_below(const std::vector<CFace>& faces, size_t count) {
    for (const CFace& f : faces)
        if (!f.is_below(count)) return false;
    return true;
}

} // namespace

void CMaxMeshData::reset_default() {
    D3DXMatrixIdentity(&matrix);
    positions.clear();
    faces.clear();
    smoothing_groups.clear();
    texture_maps.clear();
}

int CMaxMeshData::is_valid() const {
    return !positions.empty() && !faces.empty();
}

int CMaxMeshData::is_consistent() const {
    if (!faces_below(faces, positions.size())) return 0;
    if (!smoothing_groups.empty() && smoothing_groups.size() != faces.size()) return 0;
    for (const CTextureMap& map : texture_maps) {
        if (map.faces.empty()) continue;
        if (map.faces.size() != faces.size() || !faces_below(map.faces, map.uvs.size())) return 0;
    }
    return 1;
}

void CMaxMeshData::save_to_node(CPakNode* parent, const char* name) const {
    if (!parent) return;
    CPakNode* dir = parent->create_dir_node(name);
    if (!dir) return;
    dir->create_data_node("VR_TYPE", NODE_STR32, type_name);
    const int vertex_count = static_cast<int>(std::min<size_t>(positions.size(), INT_MAX));
    const int face_count = static_cast<int>(std::min<size_t>(faces.size(), INT_MAX));
    dir->create_data_node("ORIGIN_VER_COUNT", NODE_INT, &vertex_count);
    dir->create_data_node("ORIGIN_FACE_COUNT", NODE_INT, &face_count);
    if (vertex_count == 0 || face_count == 0) return;
    dir->create_data_node("ORIGIN_MATRIX", NODE_MATRIX, &matrix);
    write_buffer(dir, "ORIGIN_POS_BUF", positions, qcore::buf_vec);
    write_buffer(dir, "ORIGIN_FACE_BUF", faces, qcore::buf_face);
    write_buffer(dir, "ORIGIN_SMGRP", smoothing_groups, qcore::buf_uint32);
    const int channels = static_cast<int>(texture_maps.size());
    dir->create_data_node("ORIGIN_TMAP_COUNT", NODE_INT, &channels);
    for (size_t i = 0; i < texture_maps.size(); ++i) {
        write_buffer(dir, channel_name("ORIGIN_TMAP_UV_", i), texture_maps[i].uvs, qcore::buf_float2);
        write_buffer(dir, channel_name("ORIGIN_TMAP_FACE_", i), texture_maps[i].faces, qcore::buf_face);
    }
}

int CMaxMeshData::load_from_node(CPakNode* dir) {
    reset_default();
    if (!dir || !dir->is_type("VR_TYPE", type_name)) return 0;
    int vertex_count = 0, face_count = 0;
    if (!read_field(dir, "ORIGIN_VER_COUNT", NODE_INT, vertex_count) ||
        !read_field(dir, "ORIGIN_FACE_COUNT", NODE_INT, face_count) || vertex_count == 0 || face_count == 0)
        return 0;
    read_field(dir, "ORIGIN_MATRIX", NODE_MATRIX, matrix);
    read_buffer(dir, "ORIGIN_POS_BUF", positions);
    read_buffer(dir, "ORIGIN_FACE_BUF", faces);
    read_buffer(dir, "ORIGIN_SMGRP", smoothing_groups);
    int channels = 0;
    read_field(dir, "ORIGIN_TMAP_COUNT", NODE_INT, channels);
    // Every channel this class writes has its own nodes, so a count beyond the directory's children is
    // damage, not data (and would otherwise size the channel list from a hostile number).
    if (channels < 0 || static_cast<size_t>(channels) > dir->get_children().size()) {
        reset_default();
        return 0;
    }
    texture_maps.resize(static_cast<size_t>(channels));
    for (size_t i = 0; i < texture_maps.size(); ++i) {
        read_buffer(dir, channel_name("ORIGIN_TMAP_UV_", i), texture_maps[i].uvs);
        read_buffer(dir, channel_name("ORIGIN_TMAP_FACE_", i), texture_maps[i].faces);
    }
    if (!is_consistent()) {
        reset_default();
        return 0;
    }
    return 1;
}
