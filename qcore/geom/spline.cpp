#include <qcore/data/pak_file.h>
#include <qcore/geom/spline.h>
#include <qcore/platform/win32/afxgdi.h>
#include <qcore/platform/win32/message_box.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr float kCoincide = 0.001f;

// Where t in [0, 1] falls on a track of n keys: exactly on a key, or inside segment `seg` at local `s`.
struct TrackPos {
    int key = -1;
    int seg = 0;
    float s = 0;
};

TrackPos locate(int n, float t) {
    if (n <= 1) return {0};
    t = std::isnan(t) ? 0.0f : std::clamp(t, 0.0f, 1.0f);
    if (IsEqual(t, 0, kCoincide)) return {0};
    if (IsEqual(t, 1, kCoincide)) return {n - 1};
    const float step = 1.0f / static_cast<float>(n - 1);
    const int f = std::min(static_cast<int>(t / step), n - 2);
    const float s = static_cast<float>(n - 1) * (t - static_cast<float>(f) * step);
    if (IsEqual(s, 0, kCoincide)) return {f};
    if (IsEqual(s, 1, kCoincide)) return {f + 1};
    return {-1, f, s};
}

template <class K> bool make_track_closed(std::vector<K>& keys, int& closed, int on) {
    if (on && !closed && keys.size() >= 3) {
        const K first = keys.front();
        keys.push_back(first);
        closed = 1;
        return true;
    }
    if (!on && closed) {
        if (!keys.empty()) keys.pop_back();
        closed = 0;
        return true;
    }
    return false;
}

template <class K> bool sync_track(std::vector<K>& keys, int to_tail) {
    if (keys.size() < 2) return false;
    if (to_tail)
        keys.back() = keys.front();
    else
        keys.front() = keys.back();
    return true;
}

template <class K> int remove_track_key(std::vector<K>& keys, int& closed, int i) {
    const int n = static_cast<int>(keys.size());
    if (n <= 1 || i < 0 || i >= n) return 0;
    if (!closed) {
        keys.erase(keys.begin() + i);
        return 1;
    }
    if (n < 4) return 0;
    if (n == 4) {
        keys.pop_back(); // the closing key
        keys.erase(keys.begin() + (i == 3 ? 0 : i));
        closed = 0;
        return 1;
    }
    if (i == 0 || i == n - 1) {
        keys.erase(keys.begin());
        keys.back() = keys.front();
    } else {
        keys.erase(keys.begin() + i);
    }
    return 1;
}

template <class K>
void save_track(CPakNode* node, const char* name, const std::vector<K>& keys, int closed, WORD kind) {
    if (!node || !name) return;
    node->create_buf_node(name, keys.data(), static_cast<int>(keys.size() * sizeof(K)), kind);
    node->create_data_node(CString(name) + "-closed", NODE_INT, &closed);
}

// The keys of the buffer node `name`, when there is one; finite values only.
template <class K> bool load_keys(CPakNode* node, const char* name, std::vector<K>& out) {
    CPakNode* buf = node && name ? node->find(name) : nullptr;
    if (!buf || buf->get_node_type() != NODE_BUF || !buf->get_buffer(out)) return false;
    const float* f = reinterpret_cast<const float*>(out.data());
    return std::all_of(f, f + out.size() * (sizeof(K) / sizeof(float)),
                       [](float v) { return std::isfinite(v); });
}

int load_closed(CPakNode* node, const char* name) {
    int c = 0;
    node->find_data(CString(name) + "-closed", NODE_INT, &c);
    return c ? 1 : 0;
}

VEC unit(const VEC& v) {
    return v.get_normalize();
}

// The handle at b of the segment b->c, with a the point before b; l is the chord length.
VEC handle(const VEC& a, const VEC& b, const VEC& c, float l) {
    if (a.is_coincide(b, kCoincide)) return b;
    const VEC p = b + unit(a - b) * l;
    const VEC m = (p + c) * 0.5f;
    if (m.is_coincide(b, kCoincide)) return b + unit(c - b) * (l / 3);
    // The tangent is perpendicular to the bisector of a-b-c and points to c's side.
    return b + unit(unit(c - b) - unit(a - b)) * (l / 3);
}

} // namespace

VEC get_key_a(const std::vector<VEC>* keys, const VEC* head, const VEC*, int i) {
    const int n = keys ? static_cast<int>(keys->size()) : 0;
    if (i > 0 && n > 0) return (*keys)[static_cast<size_t>(std::min(i - 1, n - 1))];
    if (head) return *head;
    return n > 0 ? keys->front() : VEC(0, 0, 0);
}

VEC get_key_d(const std::vector<VEC>* keys, const VEC*, const VEC* tail, int i) {
    const int n = keys ? static_cast<int>(keys->size()) : 0;
    if (n < 2 || i < 0 || i >= n) {
        AfxMessageBox("err get begin_controller");
        return n > 0 ? (*keys)[static_cast<size_t>(std::clamp(i, 0, n - 1))] : (tail ? *tail : VEC(0, 0, 0));
    }
    if (i < n - 1) return (*keys)[static_cast<size_t>(i + 1)];
    return tail ? *tail : keys->back();
}

void cal_control_pos(const VEC& a, const VEC& b, const VEC& c, const VEC& d, VEC* b1, VEC* c1) {
    const float l = (c - b).len();
    if (b1) *b1 = handle(a, b, c, l);
    if (c1) *c1 = handle(d, c, b, l);
}

VEC get_spline_pos_from_b1c1(const VEC& b, const VEC& c, const VEC& b1, const VEC& c1, float t) {
    const float u = 1 - t;
    return b * (u * u * u) + b1 * (3 * t * u * u) + c1 * (3 * t * t * u) + c * (t * t * t);
}

VEC get_spline_pos(const VEC& a, const VEC& b, const VEC& c, const VEC& d, float t) {
    VEC b1, c1;
    cal_control_pos(a, b, c, d, &b1, &c1);
    return get_spline_pos_from_b1c1(b, c, b1, c1, t);
}

void interpolate_spline(const VEC& a, const VEC& b, const VEC& c, const VEC& d, std::vector<VEC>* out,
                        int count, bool by_length) {
    if (!out) return;
    count = std::max(count, 2);
    out->resize(static_cast<size_t>(count));
    VEC b1, c1;
    cal_control_pos(a, b, c, d, &b1, &c1);
    const float last = static_cast<float>(count - 1);
    if (!by_length) {
        for (int j = 0; j < count; ++j)
            (*out)[static_cast<size_t>(j)] =
                get_spline_pos_from_b1c1(b, c, b1, c1, static_cast<float>(j) / last);
        return;
    }
    const int m = 8 * count - 8;
    std::vector<VEC> samples(static_cast<size_t>(m) + 1);
    std::vector<float> length(static_cast<size_t>(m) + 1, 0.0f);
    for (int k = 0; k <= m; ++k) {
        samples[static_cast<size_t>(k)] =
            get_spline_pos_from_b1c1(b, c, b1, c1, static_cast<float>(k) / static_cast<float>(m));
        if (k > 0)
            length[static_cast<size_t>(k)] =
                length[static_cast<size_t>(k - 1)] +
                (samples[static_cast<size_t>(k)] - samples[static_cast<size_t>(k - 1)]).len();
    }
    const float step = length.back() / last;
    size_t from = 0;
    for (int j = 0; j < count; ++j) {
        const float target = static_cast<float>(j) * step;
        float best = 999999.0f;
        size_t chosen = from;
        for (size_t i = from; i < length.size(); ++i) {
            const float dist = std::fabs(length[i] - target);
            if (dist >= best) break;
            best = dist;
            chosen = i;
        }
        (*out)[static_cast<size_t>(j)] = samples[chosen];
        from = chosen;
    }
}

void interpolate_splines(const std::vector<VEC>* keys, const VEC* head, const VEC* tail,
                         std::vector<VEC>* out, int count, bool by_length) {
    if (!out) return;
    out->clear();
    if (!keys || keys->empty()) return;
    const size_t n = keys->size();
    if (n == 1) {
        out->assign(2, keys->front());
        return;
    }
    if (n == 2) {
        *out = *keys;
        return;
    }
    VEC closed_head, closed_tail;
    if (keys->front().is_coincide(keys->back(), kCoincide)) {
        closed_head = (*keys)[n - 2];
        closed_tail = (*keys)[1];
        if (!head) head = &closed_head;
        if (!tail) tail = &closed_tail;
    }
    std::vector<VEC> segment;
    for (size_t i = 0; i + 1 < n; ++i) {
        const int si = static_cast<int>(i);
        interpolate_spline(get_key_a(keys, head, tail, si), (*keys)[i], (*keys)[i + 1],
                           get_key_d(keys, head, tail, si + 1), &segment, count, by_length);
        if (!out->empty()) out->pop_back();
        out->insert(out->end(), segment.begin(), segment.end());
    }
}

float get_spline_y_from_x(const VEC& b, const VEC& c, const VEC& b1, const VEC& c1, float x, float eps) {
    if (x < std::min(b.x, c.x) || x > std::max(b.x, c.x)) {
        AfxMessageBox("err get_spline_y_from_x");
        return 0;
    }
    float lo = 0, hi = 1, t = 0.5f;
    for (int evaluation = 1;; ++evaluation) {
        const VEC p = get_spline_pos_from_b1c1(b, c, b1, c1, t);
        if (IsEqual(p.x, x, eps) || evaluation == 33) return p.y;
        if (x < p.x) {
            hi = t;
            t = (t + lo) / 2;
        } else {
            lo = t;
            t = (t + hi) / 2;
        }
    }
}

float get_splines_y_from_x(const std::vector<VEC>* keys, const VEC* head, const VEC* tail, float x,
                           float eps) {
    if (!keys) return 0;
    for (size_t i = 0; i + 1 < keys->size(); ++i) {
        const VEC &b = (*keys)[i], &c = (*keys)[i + 1];
        if (b.x <= x && x <= c.x) {
            VEC b1, c1;
            const int si = static_cast<int>(i);
            cal_control_pos(get_key_a(keys, head, tail, si), b, c, get_key_d(keys, head, tail, si + 1), &b1,
                            &c1);
            return get_spline_y_from_x(b, c, b1, c1, x, eps);
        }
    }
    return 0;
}

float get_spline_y_from_x_used_in_facegen(float amplitude, float range, float start_handle, float end_handle,
                                          float x, float eps) {
    if (amplitude < 0) AfxMessageBox("aplitude err");
    if (range < 0) AfxMessageBox("range err");
    if (range < std::fabs(x)) return 0;
    return get_spline_y_from_x(VEC(0, amplitude, 0), VEC(range, 0, 0), VEC(start_handle, amplitude, 0),
                               VEC(range - end_handle, 0, 0), std::fabs(x), eps);
}

void GetClosed2DSplinePoints(const std::vector<tagPOINT>* in, std::vector<tagPOINT>* out) {
    if (!out) return;
    out->clear();
    if (!in || in->size() < 2) return;
    if (in->size() == 2) {
        *out = *in;
        return;
    }
    std::vector<VEC> keys;
    keys.reserve(in->size() + 1);
    for (const tagPOINT& p : *in)
        keys.emplace_back(static_cast<float>(p.x), static_cast<float>(p.y), 0.0f);
    std::vector<VEC> curve;
    const size_t n = keys.size();
    if ((keys.front() - keys.back()).len() < 6.0f) {
        keys.back() = keys.front();
        const VEC head = keys[n - 2], tail = keys[1];
        interpolate_splines(&keys, &head, &tail, &curve, 16, false);
    } else {
        interpolate_splines(&keys, nullptr, nullptr, &curve, 16, false);
        curve.push_back(keys.front());
    }
    out->reserve(curve.size());
    for (const VEC& v : curve)
        out->push_back({qcore::detail::trunc_to_int(v.x), qcore::detail::trunc_to_int(v.y)});
}

void DrawClosed2DSpline(CDC* dc, const std::vector<tagPOINT>* points) {
    std::vector<tagPOINT> outline;
    GetClosed2DSplinePoints(points, &outline);
    if (dc && !outline.empty()) dc->Polyline(outline.data(), static_cast<int>(outline.size()));
}

VEC CSpline3d::get(float t) const {
    const int n = static_cast<int>(keys.size());
    if (n == 0) return VEC(0, 0, 0);
    const TrackPos p = locate(n, t);
    if (p.key >= 0) return keys[static_cast<size_t>(p.key)];
    const VEC head = keys[static_cast<size_t>(std::max(n - 2, 0))], tail = keys[1];
    const VEC* h = closed ? &head : nullptr;
    const VEC* tl = closed ? &tail : nullptr;
    return get_spline_pos(get_key_a(&keys, h, tl, p.seg), keys[static_cast<size_t>(p.seg)],
                          keys[static_cast<size_t>(p.seg + 1)], get_key_d(&keys, h, tl, p.seg + 1), p.s);
}

void CSpline3d::make_closed(int on) {
    if (make_track_closed(keys, closed, on)) modified = 1;
}

void CSpline3d::sync_head_tail(int to_tail) {
    if (sync_track(keys, to_tail)) modified = 1;
}

int CSpline3d::remove_key(int i) {
    const int r = remove_track_key(keys, closed, i);
    if (r) modified = 1;
    return r;
}

void CSpline3d::set_spline_color(DWORD color) {
    if (color != spline_color) spline_color = color, modified = 1;
}

void CSpline3d::set_key_color(DWORD color) {
    if (color != key_color) key_color = color, modified = 1;
}

void CSpline3d::set_seg_num(int count) {
    if (count >= 1 && count != seg_num) seg_num = count, modified = 1;
}

void CSpline3d::free() {
    keys.clear();
    modified = 1;
}

void CSpline3d::rebuild() {
    box.set_invalid();
    for (const VEC& k : keys)
        box += k;
    std::vector<VEC> curve;
    interpolate_splines(&keys, nullptr, nullptr, &curve, std::max(seg_num, 1) + 1, false);
    spline_vers.clear();
    for (const VEC& v : curve)
        spline_vers.push_back({v.x, v.y, v.z, spline_color});
    key_vers.clear();
    for (const VEC& k : keys)
        key_vers.push_back({k.x, k.y, k.z, key_color});
    modified = 0;
}

const CBox& CSpline3d::get_box() {
    if (modified) rebuild();
    return box;
}

void CSpline3d::render_spline(gCore* core, const MAT* world) {
    if (modified) rebuild();
    simp_draw::draw_3d_polyline(core, spline_vers, world, true, false, D3DCMP_LESSEQUAL);
}

void CSpline3d::render_key(gCore* core, const MAT* world) {
    if (modified) rebuild();
    simp_draw::draw_3d_points(core, key_vers, world, 4, true, false, D3DCMP_LESSEQUAL);
}

void CSpline3d::save_to_node(CPakNode* node, const char* name) const {
    save_track(node, name, keys, closed, qcore::buf_vec);
}

int CSpline3d::load_from_node(CPakNode* node, const char* name) {
    std::vector<VEC> loaded;
    if (!load_keys(node, name, loaded)) {
        AfxMessageBox("load spline err");
        return 0;
    }
    keys = std::move(loaded);
    closed = load_closed(node, name);
    modified = 1;
    return 1;
}

float CSpline1d::get(float t) const {
    const int n = static_cast<int>(keys.size());
    if (n == 0) return 0;
    const TrackPos p = locate(n, t);
    if (p.key >= 0) return keys[static_cast<size_t>(p.key)];
    return keys[static_cast<size_t>(p.seg)] * (1 - p.s) + keys[static_cast<size_t>(p.seg + 1)] * p.s;
}

void CSpline1d::make_closed(int on) {
    make_track_closed(keys, closed, on);
}

void CSpline1d::sync_head_tail(int to_tail) {
    sync_track(keys, to_tail);
}

int CSpline1d::remove_key(int i) {
    return remove_track_key(keys, closed, i);
}

void CSpline1d::save_to_node(CPakNode* node, const char* name) const {
    save_track(node, name, keys, closed, qcore::buf_float);
}

int CSpline1d::load_from_node(CPakNode* node, const char* name) {
    if (!node || !name) return 0;
    std::vector<float> loaded;
    const bool read = load_keys(node, name, loaded);
    if (read) keys = std::move(loaded);
    closed = load_closed(node, name);
    return read ? 1 : 0;
}
