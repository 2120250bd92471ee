#pragma once
// Coverage: which pixels of one screen tile a set-up primitive covers, handed on as horizontal spans.
#include <qcore/platform/d3d8/soft/setup.h>

#include <algorithm>
#include <cmath>

namespace qcore::detail::soft {

// Calls span(y, x_first, x_last) for each covered run of pixels of prim inside tile (inclusive bounds).
template <class SpanFn> void rasterize(const Prim& prim, const PixelRect& tile, SpanFn&& span) {
    const int x0 = std::max(prim.bounds.x0, tile.x0), x1 = std::min(prim.bounds.x1, tile.x1);
    const int y0 = std::max(prim.bounds.y0, tile.y0), y1 = std::min(prim.bounds.y1, tile.y1);
    if (x0 > x1 || y0 > y1) return;
    if (prim.kind == PrimKind::rect) {
        for (int y = y0; y <= y1; ++y)
            span(y, x0, x1);
        return;
    }
    if (prim.kind == PrimKind::line) {
        const int half = (prim.thickness - 1) / 2;
        const int m_first = prim.x_major ? x0 : y0, m_last = prim.x_major ? x1 : y1;
        const int n_lo = prim.x_major ? y0 : x0, n_hi = prim.x_major ? y1 : x1;
        for (int m = m_first; m <= m_last; ++m) {
            if (prim.repeat) {
                const uint32_t k =
                    static_cast<uint32_t>((m - prim.pattern_start) * prim.pattern_step) / prim.repeat;
                if (!((prim.pattern >> (k & 15)) & 1u)) continue;
            }
            const float minor =
                prim.line_minor + (static_cast<float>(m) - prim.line_origin) * prim.line_slope;
            const int base = static_cast<int>(std::floor(minor + 0.5f)) - half;
            for (int n = std::max(base, n_lo); n <= std::min(base + prim.thickness - 1, n_hi); ++n) {
                if (prim.x_major)
                    span(n, m, m);
                else
                    span(m, n, n);
            }
        }
        return;
    }
    int64_t row[3];
    for (int e = 0; e < 3; ++e)
        row[e] = prim.ea[e] * x0 + prim.eb[e] * y0 + prim.ec[e];
    for (int y = y0; y <= y1; ++y) {
        int64_t e0 = row[0], e1 = row[1], e2 = row[2];
        int x = x0;
        while (x <= x1 && (e0 | e1 | e2) < 0) {
            e0 += prim.ea[0], e1 += prim.ea[1], e2 += prim.ea[2];
            ++x;
        }
        const int first = x;
        while (x <= x1 && (e0 | e1 | e2) >= 0) {
            e0 += prim.ea[0], e1 += prim.ea[1], e2 += prim.ea[2];
            ++x;
        }
        if (x > first) span(y, first, x - 1);
        for (int e = 0; e < 3; ++e)
            row[e] += prim.eb[e];
    }
}

} // namespace qcore::detail::soft
