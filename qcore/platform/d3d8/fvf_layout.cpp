#include <qcore/platform/d3d8/fvf_layout.h>

namespace qcore::detail {
namespace {
constexpr DWORD fvf_position_mask = 0x00E, fvf_normal = 0x010, fvf_psize = 0x020, fvf_diffuse = 0x040,
                fvf_specular = 0x080;
} // namespace

FvfLayout fvf_layout(DWORD fvf) {
    FvfLayout l;
    switch (fvf & fvf_position_mask) {
    case 0x002:
        l.position_size = 12;
        break;
    case 0x004:
        l.position_size = 16;
        break;
    case 0x006:
        l.position_size = 16;
        break;
    case 0x008:
        l.position_size = 20;
        break;
    case 0x00A:
        l.position_size = 24;
        break;
    case 0x00C:
        l.position_size = 28;
        break;
    case 0x00E:
        l.position_size = 32;
        break;
    default:
        return {};
    }
    l.tex_count = (fvf >> 8) & 0xF;
    if ((fvf & 1) || l.tex_count > 8) return {};
    uint32_t at = l.position_size;
    auto place = [&](bool present, uint32_t& offset, bool& has, uint32_t size) {
        has = present;
        if (present) offset = at, at += size;
    };
    place(fvf & fvf_normal, l.normal, l.has_normal, 12);
    place(fvf & fvf_psize, l.psize, l.has_psize, 4);
    place(fvf & fvf_diffuse, l.diffuse, l.has_diffuse, 4);
    place(fvf & fvf_specular, l.specular, l.has_specular, 4);
    static constexpr uint32_t coord_sizes[4] = {8, 12, 16, 4}; // D3DFVF_TEXTUREFORMAT2, 3, 4, 1
    for (uint32_t i = 0; i < l.tex_count; ++i) {
        l.tex_offset[i] = at;
        l.tex_size[i] = coord_sizes[(fvf >> (16 + 2 * i)) & 3];
        at += l.tex_size[i];
    }
    l.stride = at;
    return l;
}

} // namespace qcore::detail
