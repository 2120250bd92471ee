#pragma once
// A mesh as the modelling tool exported it: the object matrix, positions, triangles with their
// smoothing-group masks, and every texture-coordinate channel with its own triangles.
#include <qcore/data/pak_file.h>
#include <qcore/geom/math3d.h>
#include <qcore/mesh/face.h>

#include <vector>

// One texture-coordinate channel: one triangle per mesh face, indexing this channel's coordinates.
class CTextureMap {
public:
    std::vector<CFace> faces;
    std::vector<D3DXVECTOR2> uvs;
};

class CMaxMeshData {
public:
    MAT matrix;
    std::vector<VEC> positions;
    std::vector<CFace> faces;
    std::vector<DWORD> smoothing_groups;
    std::vector<CTextureMap> texture_maps;

    CMaxMeshData() { reset_default(); }

    void reset_default();
    // At least one position and one face.
    int is_valid() const;
    // 1 when every face index lies within the positions, there is no smoothing mask or one per face, and
    // every channel is empty or has one triangle per face indexing its own coordinates.
    int is_consistent() const;
    void save_to_node(CPakNode* parent, const char* name) const;
    // Returns 1 when the directory was read. A directory of another type, with a zero or missing count,
    // gives the empty object (0); so does damaged data (a channel count that cannot be right, indices
    // outside their lists, per-face lists of the wrong length): nothing half-read is kept.
    int load_from_node(CPakNode* dir);
};
