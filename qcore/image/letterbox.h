#pragma once
// Where an image of one aspect ratio goes inside a target of another, with the two window-coloured bands
// around it, as the scaled previews lay it out.
#include <qcore/platform/win32/mfc_types.h>

#include <cmath>

namespace qcore::detail {

struct Letterbox {
    CRect image;    // where the image is drawn
    CRect bands[2]; // filled with the window colour; empty when the ratios match
};

// Ratios that differ by no more than `tolerance` count as equal (no bands).
inline Letterbox letterbox(int src_w, int src_h, int w, int h, float tolerance) {
    Letterbox box;
    box.image.SetRect(0, 0, w, h);
    if (src_w <= 0 || src_h <= 0 || w <= 0 || h <= 0) return box;
    const float f = static_cast<float>(src_w) / static_cast<float>(src_h);
    const float t = static_cast<float>(w) / static_cast<float>(h);
    if (std::fabs(f - t) <= tolerance) return box;
    if (f > t) {
        const int m = static_cast<int>(static_cast<float>(w) / f);
        const int b = (h - m) / 2;
        box.image = CRect(0, b, w, b + m);
        box.bands[0] = CRect(0, 0, w, b);
        box.bands[1] = CRect(0, m + b, w, m + b + b + 1);
        return box;
    }
    const int iw = static_cast<int>(f * static_cast<float>(h));
    const int x = (w - iw) / 2;
    box.image = CRect(x, 0, x + iw, h);
    box.bands[0] = CRect(0, 0, x, h);
    box.bands[1] = CRect(iw + x, 0, iw + x + x + 1, h);
    return box;
}

} // namespace qcore::detail
