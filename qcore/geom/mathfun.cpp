#include <qcore/geom/mathfun.h>

#include <climits>

int get_times_of_2(int n) {
    for (int k = 0; k <= 13; ++k)
        if (n == 1 << k) return k;
    return -1;
}

bool IsPowerOf2(int n) {
    return get_times_of_2(n) >= 0;
}

int GetNearSize(int n) {
    if (n < 8) return 8;
    for (int k = 3; k <= 12; ++k) {
        const int lo = 1 << k, hi = 1 << (k + 1);
        if (n == lo || n == hi) return n;
        if (n > lo && n < hi) return hi - n < n - lo ? hi : lo;
    }
    return 1024;
}

float dist2d_pt_to_pt(const D3DXVECTOR2& a, const D3DXVECTOR2& b) {
    const D3DXVECTOR2 d = b - a;
    return D3DXVec2Length(&d);
}

float dist2d_pt_to_line(const D3DXVECTOR2& p, const D3DXVECTOR2& a, const D3DXVECTOR2& b) {
    const D3DXVECTOR2 d = b - a, ap = p - a;
    const float h = D3DXVec2Dot(&ap, &d);
    if (h <= 0.0f) return dist2d_pt_to_pt(p, a);
    const float lensq = D3DXVec2LengthSq(&d);
    if (h >= lensq) return dist2d_pt_to_pt(p, b);
    return dist2d_pt_to_pt(p, a + d * (h / lensq));
}

D3DXVECTOR2 verpos_pt_to_infinite_line(const D3DXVECTOR2& p, const D3DXVECTOR2& a, const D3DXVECTOR2& b) {
    const D3DXVECTOR2 d = b - a, ap = p - a;
    return a + d * (D3DXVec2Dot(&ap, &d) / D3DXVec2LengthSq(&d));
}

int is_same_direction(const D3DXVECTOR2& a, const D3DXVECTOR2& b) {
    return D3DXVec2Dot(&a, &b) >= 0.0f ? 1 : 0;
}

int get_min_value_index(const std::vector<float>& values) {
    float best = 3.4028235e38f;
    int index = -1;
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i] < best) {
            best = values[i];
            index = static_cast<int>(i);
        }
    }
    return index;
}

namespace qcore::detail {
int trunc_to_int(double v) {
    if (!(v == v)) return 0;
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(v);
}
} // namespace qcore::detail
