#pragma once
// The memory layout of a flexible vertex format (D3DFVF_*), as published: position (with blend weights),
// normal, point size, diffuse, specular, then up to eight texture-coordinate sets of 1 to 4 floats.
#include <qcore/platform/win32/types.h>

#include <cstdint>

namespace qcore::detail {

// Byte offsets and sizes of the elements of one vertex; sizes are 0 for elements the format lacks.
struct FvfLayout {
    uint32_t stride = 0;
    uint32_t position_size = 0; // 12 for XYZ, 16 for XYZRHW, 12 + 4 per blend weight
    uint32_t normal = 0, psize = 0, diffuse = 0, specular = 0;
    bool has_normal = false, has_psize = false, has_diffuse = false, has_specular = false;
    uint32_t tex_count = 0;
    uint32_t tex_offset[8] = {};
    uint32_t tex_size[8] = {};
};

// The layout of a format, or a layout with stride 0 for formats that are not valid vertex formats.
FvfLayout fvf_layout(DWORD fvf);

} // namespace qcore::detail
