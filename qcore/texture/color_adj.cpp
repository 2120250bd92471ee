#include <qcore/texture/color_adj.h>

#include <qcore/data/pak_file.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#define QCORE_HAVE_VBMI_PATH 1
#endif

namespace {

constexpr float neutral = 128.0f;
constexpr const char* col_adj_dir_type = "COLOR_ADJ_DATA";

// Truncation toward zero that stays defined for values outside int and for NaN, which parameters read
// from a file may produce; in-range values truncate exactly as a cast does.
int trunc_int(float v) {
    if (!(v > -2147483648.0f)) return v != v ? 0 : INT32_MIN;
    if (v >= 2147483648.0f) return INT32_MAX;
    return static_cast<int>(v);
}

// Blends a curve table value with the running value by weight w (negative weights use the low table).
int blend(float w, int high, int low, int value) {
    if (w >= 0) return trunc_int(static_cast<float>(high) * w + (1.0f - w) * static_cast<float>(value));
    w = -w;
    return trunc_int(static_cast<float>(low) * w + (1.0f - w) * static_cast<float>(value));
}

struct CurveTables {
    int contrast_high[256] = {};
    int contrast_low[256] = {};
    int gamma_high[256] = {};
    int gamma_low[256] = {};
};

bool is_neutral(const float4& v) {
    float4 def;
    def.set_all(neutral);
    return v.is_same(def) != 0;
}

void fill_contrast(CurveTables& t) {
    for (int j = 0; j < 256; ++j) {
        t.contrast_high[j] = trunc_int(5.0f * static_cast<float>(j) + 128.0f - 640.0f);
        t.contrast_low[j] = 128;
    }
}

void fill_gamma(CurveTables& t, float p) {
    const float inv = 1.0f / p;
    for (int j = 0; j < 256; ++j) {
        const float x = static_cast<float>(j) * 0.003921569f;
        t.gamma_high[j] = trunc_int(std::pow(x, inv) * 255.0f);
        t.gamma_low[j] = trunc_int(std::pow(x, p) * 255.0f);
    }
}

} // namespace

void COLOR_ADJ_DATA::reset_default() {
    gamma.set_all(neutral);
    scale.set_all(neutral);
    brightness.set_all(neutral);
    contrast.set_all(neutral);
    gamma_coe = 3.0f;
}

int COLOR_ADJ_DATA::is_same(const COLOR_ADJ_DATA& other) const {
    return gamma.is_same(other.gamma) && scale.is_same(other.scale) && brightness.is_same(other.brightness) &&
           contrast.is_same(other.contrast) && gamma_coe == other.gamma_coe;
}

int COLOR_ADJ_DATA::have_effect() const {
    return !is_same(COLOR_ADJ_DATA());
}

int COLOR_ADJ_DATA::load_col_adj_data_from_node(CPakNode* node) {
    if (!node || !node->is_type("VR_TYPE", col_adj_dir_type)) return 0;
    reset_default();
    node->find_data("gamma", NODE_FLOAT4, gamma.v);
    node->find_data("scale", NODE_FLOAT4, scale.v);
    node->find_data("brightness", NODE_FLOAT4, brightness.v);
    node->find_data("contrast", NODE_FLOAT4, contrast.v);
    node->find_data("gamma_coe", NODE_FLOAT, &gamma_coe);
    return 1;
}

void COLOR_ADJ_DATA::save_col_adj_data_to_node(CPakNode* parent, const char* name) const {
    CPakNode* dir = parent ? parent->create_dir_node(name) : nullptr;
    if (!dir) return;
    dir->create_data_node("VR_TYPE", NODE_STR32, col_adj_dir_type);
    dir->create_data_node("gamma", NODE_FLOAT4, gamma.v);
    dir->create_data_node("scale", NODE_FLOAT4, scale.v);
    dir->create_data_node("brightness", NODE_FLOAT4, brightness.v);
    dir->create_data_node("contrast", NODE_FLOAT4, contrast.v);
    dir->create_data_node("gamma_coe", NODE_FLOAT, &gamma_coe);
}

void ColorMatchTab::reset_default() {
    for (DWORD i = 0; i < 256; ++i)
        tab[i] = i * 0x01010101u;
}

BYTE CColorAdjFun::_calc_color(int x, float gamma, float scale, float brightness, float contrast,
                               const int* contrast_high, const int* contrast_low, const int* gamma_high,
                               const int* gamma_low) {
    const int x1 = trunc_int(std::pow(1.1f, (scale - neutral) * 0.125f) * static_cast<float>(x));
    const int x2 = blend((contrast - neutral) * 0.0078125f, contrast_high[x], contrast_low[x], x1);
    const int x3 = trunc_int((brightness - neutral) + static_cast<float>(x2));
    const int x4 = blend((gamma - neutral) * 0.0078125f, gamma_high[x], gamma_low[x], x3);
    return static_cast<BYTE>(std::clamp(x4, 0, 255));
}

void CColorAdjFun::cal_match_tab(const COLOR_ADJ_DATA& data, ColorMatchTab& out) {
    // Neutral groups blend with weight 0, so their tables stay zero.
    CurveTables t;
    if (!is_neutral(data.contrast)) fill_contrast(t);
    if (!is_neutral(data.gamma)) fill_gamma(t, data.gamma_coe);
    for (int i = 0; i < 256; ++i) {
        DWORD entry = 0;
        for (int k = 0; k < 4; ++k) {
            const BYTE v = _calc_color(i, data.gamma[k], data.scale[k], data.brightness[k], data.contrast[k],
                                       t.contrast_high, t.contrast_low, t.gamma_high, t.gamma_low);
            entry = entry << 8 | v;
        }
        out.tab[i] = entry;
    }
}

void qcore::detail::adjust_argb_pixels_portable(const ColorMatchTab& tab, const DWORD* src, DWORD* dst,
                                                size_t count) {
    for (size_t i = 0; i < count; ++i)
        dst[i] = CColorAdjFun::adjust_argb(tab, src[i]);
}

#ifdef QCORE_HAVE_VBMI_PATH
namespace {

// Sixteen pixels at a time: each byte is looked up in its channel's 256-byte curve held in four registers
// (two 128-byte permutes chosen by the index's top bit), then the four channels are merged by lane.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void
adjust_argb_pixels_vbmi(const ColorMatchTab& tab, const DWORD* src, DWORD* dst, size_t count) {
    alignas(64) BYTE curves[4][256];
    for (int i = 0; i < 256; ++i)
        for (int p = 0; p < 4; ++p)
            curves[p][i] = static_cast<BYTE>(tab.tab[i] >> (8 * p));
    __m512i t[4][4];
    for (int p = 0; p < 4; ++p)
        for (int q = 0; q < 4; ++q)
            t[p][q] = _mm512_load_si512(curves[p] + 64 * q);
    const __mmask64 lane[4] = {0x1111111111111111ull, 0x2222222222222222ull, 0x4444444444444444ull,
                               0x8888888888888888ull};
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m512i x = _mm512_loadu_si512(src + i);
        const __mmask64 upper = _mm512_movepi8_mask(x);
        __m512i r = _mm512_setzero_si512();
        for (int p = 0; p < 4; ++p) {
            const __m512i low = _mm512_permutex2var_epi8(t[p][0], x, t[p][1]);
            const __m512i high = _mm512_permutex2var_epi8(t[p][2], x, t[p][3]);
            r = _mm512_mask_blend_epi8(lane[p], r, _mm512_mask_blend_epi8(upper, low, high));
        }
        _mm512_storeu_si512(dst + i, r);
    }
    qcore::detail::adjust_argb_pixels_portable(tab, src + i, dst + i, count - i);
}

bool have_vbmi() {
    static const bool have = __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bw");
    return have;
}

} // namespace
#endif

void qcore::adjust_argb_pixels(const ColorMatchTab& tab, const DWORD* src, DWORD* dst, size_t count) {
#ifdef QCORE_HAVE_VBMI_PATH
    if (have_vbmi()) return adjust_argb_pixels_vbmi(tab, src, dst, count);
#endif
    detail::adjust_argb_pixels_portable(tab, src, dst, count);
}
