#pragma once
// The work area of a view: a rectangle of fixed aspect inside the window (bars around it when the window's
// ratio differs) and, inside it, the 3D area given as fractions of the work area.
#include <qcore/geom/frect.h>
#include <qcore/platform/win32/mfc_types.h>
#include <qcore/platform/win32/types.h>

class CPakNode;

extern const FRect INIT_3D_AERA;

class CAeraCfg {
public:
    CAeraCfg() = default;
    virtual ~CAeraCfg() = default;
    CAeraCfg(const CAeraCfg&) = default;
    CAeraCfg& operator=(const CAeraCfg&) = default;

    void set_default() { *this = CAeraCfg(); }
    int is_auto_stretch_workaera() const { return auto_stretch; }
    void set_auto_stretch_workaera(int on) { auto_stretch = on; }
    CSize& get_aspect_of_workaera_ref() { return workaera_aspect; }
    const FRect& get_3d_frect() const { return frect_3d; }
    void set_3d_frect(const FRect& r) { frect_3d = r; }
    DWORD get_color_outof_workaera() const { return color_outof_workaera; }
    void set_color_outof_workaera(DWORD argb) { color_outof_workaera = argb; }
    int is_all_same() const { return all_same; }
    void set_all_same(int on) { all_same = on; }

    // Splits the window rectangle into the work area with its two bars and the 3D area with the four
    // bands around it (above, left, right, below). Unused bars and bands come back empty.
    void recal_aera(const CRect& window, CRect& work_aera, CRect outer_bars[2], CRect& aera_3d,
                    CRect inner_bands[4]) const;

    CPakNode* save_aeracfg_to_node(CPakNode* parent, const char* name) const;
    int load_aeracfg_from_node(CPakNode* node);

private:
    int auto_stretch = 1;
    CSize workaera_aspect{4, 3};
    FRect frect_3d = INIT_3D_AERA;
    DWORD color_outof_workaera = 0xff808080;
    int all_same = 1;
};
