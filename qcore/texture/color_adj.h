#pragma once
// Colour adjustment of textures: per-channel gamma, scale (exposure), brightness and contrast, with 128 as
// the neutral value of every parameter, turned into one 256-entry lookup table holding a curve per channel.
// The parameters are stored in the node tree as a typed directory.
#include <qcore/geom/math3d.h>
#include <qcore/platform/win32/types.h>

#include <cstddef>

class CPakNode;

// Each float4 holds the channels alpha, red, green, blue in that order.
class COLOR_ADJ_DATA {
public:
    COLOR_ADJ_DATA() { reset_default(); }

    void reset_default();
    // Every float exactly equal.
    int is_same(const COLOR_ADJ_DATA& other) const;
    // Differs from the defaults.
    int have_effect() const;

    // 0 on a node that is not a colour adjustment directory; otherwise the defaults overlaid with what the
    // directory holds.
    int load_col_adj_data_from_node(CPakNode* node);
    // A directory "name" under parent (refused if the name is taken).
    void save_col_adj_data_to_node(CPakNode* parent, const char* name) const;

    float4 gamma;
    float4 scale;
    float4 brightness;
    float4 contrast;
    // The exponent of the gamma curves.
    float gamma_coe;
};

// Entry i holds the adjusted value of input i for each channel: alpha in bits 24-31, red 16-23, green 8-15,
// blue 0-7.
class ColorMatchTab {
public:
    ColorMatchTab() { reset_default(); }

    // The identity: entry i is i in all four bytes.
    void reset_default();
    DWORD operator[](int i) const { return tab[i]; }

    DWORD tab[256];
};

class CColorAdjFun {
public:
    static void cal_match_tab(const COLOR_ADJ_DATA& data, ColorMatchTab& out);

    // Maps each byte of a 32-bit ARGB value through its own channel's curve.
    static DWORD adjust_argb(const ColorMatchTab& t, DWORD argb) {
        return (t.tab[argb >> 24] & 0xff000000u) | (t.tab[argb >> 16 & 0xff] & 0x00ff0000u) |
               (t.tab[argb >> 8 & 0xff] & 0x0000ff00u) | (t.tab[argb & 0xff] & 0x000000ffu);
    }
    // The low 24 bits through the red, green and blue curves; bits 24-31 of the result are 0.
    static DWORD adjust_colorref(const ColorMatchTab& t, DWORD value) {
        return (t.tab[value >> 16 & 0xff] & 0x00ff0000u) | (t.tab[value >> 8 & 0xff] & 0x0000ff00u) |
               (t.tab[value & 0xff] & 0x000000ffu);
    }

protected:
    // One curve value for input x (0-255); the contrast and gamma tables are indexed by x itself.
    static BYTE _calc_color(int x, float gamma, float scale, float brightness, float contrast,
                            const int* contrast_high, const int* contrast_low, const int* gamma_high,
                            const int* gamma_low);
};

namespace qcore {
// adjust_argb over count pixels, src and dst may be the same; uses byte-permute vector instructions where
// the processor has them.
void adjust_argb_pixels(const ColorMatchTab& tab, const DWORD* src, DWORD* dst, size_t count);

namespace detail {
// The portable path of adjust_argb_pixels.
void adjust_argb_pixels_portable(const ColorMatchTab& tab, const DWORD* src, DWORD* dst, size_t count);
} // namespace detail
} // namespace qcore
