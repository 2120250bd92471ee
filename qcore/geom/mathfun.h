#pragma once
// Tolerant float comparisons, power-of-two sizes and the two-dimensional point helpers.
#include <qcore/platform/d3d8/d3dx/d3dx8math.h>

#include <cmath>
#include <vector>

inline bool IsEqual(float a, float b, float eps) {
    return std::fabs(a - b) < eps;
}
inline bool IsLess(float a, float b, float eps) {
    return a + eps < b;
}
inline bool IsGreater(float a, float b, float eps) {
    return a - eps > b;
}

// log2(n) for n = 1, 2, 4 … 8192; -1 for anything else.
int get_times_of_2(int n);
bool IsPowerOf2(int n);
// The nearest power of two in 8 … 8192, the lower one on a tie; 1024 above 8192.
int GetNearSize(int n);

float dist2d_pt_to_pt(const D3DXVECTOR2& a, const D3DXVECTOR2& b);
// Distance from p to the segment a–b.
float dist2d_pt_to_line(const D3DXVECTOR2& p, const D3DXVECTOR2& a, const D3DXVECTOR2& b);
// Foot of the perpendicular from p on the infinite line through a and b.
D3DXVECTOR2 verpos_pt_to_infinite_line(const D3DXVECTOR2& p, const D3DXVECTOR2& a, const D3DXVECTOR2& b);
// 1 when a·b ≥ 0: perpendicular vectors count as the same direction here.
int is_same_direction(const D3DXVECTOR2& a, const D3DXVECTOR2& b);
// Index of the smallest value below the largest float, the first on a tie; -1 when there is none.
int get_min_value_index(const std::vector<float>& values);

namespace qcore::detail {
// (int)v as C truncates it, but saturating at the int range and giving 0 for NaN instead of undefined.
int trunc_to_int(double v);
// acos with its argument clamped to [-1, 1], so that rounding just past ±1 does not give NaN.
inline float clamped_acos(float c) {
    return std::acos(c > 1.0f ? 1.0f : c < -1.0f ? -1.0f : c);
}
} // namespace qcore::detail
