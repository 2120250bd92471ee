#include <qcore/view/aera_cfg.h>

#include <qcore/data/pak_file.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

const FRect INIT_3D_AERA(0, 0, 1, 1);

namespace {

const char* const aera_dir_type = "CAeraCfg";

int round_size(double v) {
    return static_cast<int>(v + 0.5);
}

// Fractions from a file may be anything: non-finite ones give the whole area, huge ones are held to a
// range that keeps pixel positions inside int.
FRect usable_fractions(const FRect& r) {
    if (!std::isfinite(r.left) || !std::isfinite(r.top) || !std::isfinite(r.right) ||
        !std::isfinite(r.bottom))
        return INIT_3D_AERA;
    const auto hold = [](float v) { return std::clamp(v, -1000.0f, 1000.0f); };
    return FRect(hold(r.left), hold(r.top), hold(r.right), hold(r.bottom));
}

} // namespace

void CAeraCfg::recal_aera(const CRect& window, CRect& work, CRect bars[2], CRect& aera_3d,
                          CRect bands[4]) const {
    for (int i = 0; i < 2; ++i)
        bars[i].SetRectEmpty();
    for (int i = 0; i < 4; ++i)
        bands[i].SetRectEmpty();
    if (all_same) {
        work = aera_3d = window;
        return;
    }
    const int ww = window.Width(), wh = window.Height();
    // A ratio without a positive width and height (a damaged file, an empty window) cannot letterbox.
    const bool ratio_usable = workaera_aspect.cx > 0 && workaera_aspect.cy > 0 && ww > 0 && wh > 0;
    const double d = ratio_usable ? double(workaera_aspect.cx) / double(workaera_aspect.cy) : 0.0;
    const double q = ratio_usable ? double(ww) / double(wh) : 0.0;
    if (auto_stretch || !ratio_usable || std::fabs(d - q) < 0.001) {
        work = window;
    } else if (d > q) {
        const int f = round_size(ww / d), g = (wh - f) / 2;
        work.SetRect(0, g, ww, g + f);
        bars[0].SetRect(0, 0, ww, g);
        bars[1].SetRect(0, g + f, ww, wh);
    } else {
        const int f = round_size(d * wh), g = (ww - f) / 2;
        work.SetRect(g, 0, g + f, wh);
        bars[0].SetRect(0, 0, g, wh);
        bars[1].SetRect(g + f, 0, ww, wh);
    }
    FRect f = usable_fractions(frect_3d);
    f.multiply_crect(work);
    aera_3d = f.convert_to_crect();

    CRect overlap;
    if (!overlap.IntersectRect(&work, &aera_3d)) return;
    CRect u;
    u.UnionRect(&work, &aera_3d);
    const CRect& a = aera_3d;
    const CRect sides[4] = {CRect(u.left, u.top, u.right, a.top), CRect(u.left, a.top, a.left, a.bottom),
                            CRect(a.right, a.top, u.right, a.bottom),
                            CRect(u.left, a.bottom, u.right, u.bottom)};
    for (int i = 0; i < 4; ++i)
        bands[i].IntersectRect(&sides[i], &work);
}

CPakNode* CAeraCfg::save_aeracfg_to_node(CPakNode* parent, const char* name) const {
    CPakNode* dir = parent ? parent->create_dir_node(name, 0) : nullptr;
    if (!dir) return nullptr;
    const int32_t ints[4] = {auto_stretch, workaera_aspect.cx, workaera_aspect.cy,
                             static_cast<int32_t>(color_outof_workaera)};
    dir->create_data_node("VR_TYPE", NODE_STR32, aera_dir_type);
    dir->create_data_node("auto_stretch", NODE_INT, &ints[0]);
    dir->create_data_node("workaera_wid", NODE_INT, &ints[1]);
    dir->create_data_node("workaera_hei", NODE_INT, &ints[2]);
    dir->create_data_node("3d_frect1", NODE_FLOAT, &frect_3d.left);
    dir->create_data_node("3d_frect2", NODE_FLOAT, &frect_3d.top);
    dir->create_data_node("3d_frect3", NODE_FLOAT, &frect_3d.right);
    dir->create_data_node("3d_frect4", NODE_FLOAT, &frect_3d.bottom);
    dir->create_data_node("bg_color", NODE_INT, &ints[3]);
    return dir;
}

int CAeraCfg::load_aeracfg_from_node(CPakNode* node) {
    if (!node || !node->is_type("VR_TYPE", aera_dir_type)) return 0;
    set_default();
    int32_t ints[4] = {auto_stretch, workaera_aspect.cx, workaera_aspect.cy,
                       static_cast<int32_t>(color_outof_workaera)};
    node->find_data("auto_stretch", NODE_INT, &ints[0]);
    node->find_data("workaera_wid", NODE_INT, &ints[1]);
    node->find_data("workaera_hei", NODE_INT, &ints[2]);
    node->find_data("3d_frect1", NODE_FLOAT, &frect_3d.left);
    node->find_data("3d_frect2", NODE_FLOAT, &frect_3d.top);
    node->find_data("3d_frect3", NODE_FLOAT, &frect_3d.right);
    node->find_data("3d_frect4", NODE_FLOAT, &frect_3d.bottom);
    node->find_data("bg_color", NODE_INT, &ints[3]);
    auto_stretch = ints[0];
    workaera_aspect = CSize(ints[1], ints[2]);
    color_outof_workaera = static_cast<DWORD>(ints[3]);
    return 1;
}
