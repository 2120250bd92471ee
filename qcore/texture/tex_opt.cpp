#include <qcore/texture/tex_opt.h>

#include <qcore/data/pak_file.h>
#include <qcore/platform/win32/message_box.h>
#include <qcore/texture/tex_detail.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* opt_dir_type = "TexFileCreateOpt";
constexpr const char* strategy_dir_type = "TexStrategy";
// Larger sizes than the size rule's own largest power of two only come from hostile factors or sizes.
constexpr int max_tex_dimension = 8192;
constexpr int min_tex_dimension = 8;

bool is_valid_tex_type(int t) {
    return (t >= TEX_TYPE_NORMAL && t <= TEX_TYPE_EXTRA) || t == TEX_TYPE_USER;
}

int scaled_dimension(int n, double s) {
    const double v = std::trunc(static_cast<double>(n) * s);
    if (!(v >= 0.0)) return 0;
    return v > max_tex_dimension ? max_tex_dimension : static_cast<int>(v);
}

} // namespace

void CTexFileCreateOpt::reset_default() {
    tex_type = TEX_TYPE_NORMAL;
    user_fmt = D3DFMT_UNKNOWN;
    size = CSize(0, 0);
    mipcount = 0;
    auto_size_factor = 0;
    use_max_clamp = 0;
    use_min_clamp = 0;
    max_clamp_value = 2048;
    min_clamp_value = 8;
    enable_col_adj = 0;
    color_adj.reset_default();
}

int CTexFileCreateOpt::does_need_rebuild_if_changed(const CTexFileCreateOpt& other) const {
    if (tex_type != other.tex_type || user_fmt != other.user_fmt || size.cx != other.size.cx ||
        size.cy != other.size.cy || mipcount != other.mipcount)
        return 1;
    const int mine = is_color_adj_effective(), theirs = other.is_color_adj_effective();
    if (mine != theirs) return 1;
    return mine && !color_adj.is_same(other.color_adj);
}

int CTexFileCreateOpt::load_create_opt_from_node(CPakNode* node) {
    if (!node || !node->is_type("VR_TYPE", opt_dir_type)) return 0;
    reset_default();
    int type = tex_type;
    int fmt = static_cast<int>(user_fmt);
    node->find_data("tex_type", NODE_INT, &type);
    node->find_data("user_fmt", NODE_INT, &fmt);
    tex_type = static_cast<TEX_TYPE>(type);
    user_fmt = static_cast<D3DFORMAT>(fmt);
    node->find_data("size", NODE_CSIZE, &size);
    node->find_data("mipcount", NODE_INT, &mipcount);
    node->find_data("auto_size_factor", NODE_INT, &auto_size_factor);
    node->find_data("use_max_clamp", NODE_INT, &use_max_clamp);
    node->find_data("use_min_clamp", NODE_INT, &use_min_clamp);
    node->find_data("max_clamp_value", NODE_INT, &max_clamp_value);
    node->find_data("min_clamp_value", NODE_INT, &min_clamp_value);
    node->find_data("enable_col_adj", NODE_INT, &enable_col_adj);
    if (CPakNode* adj = node->find("color_adj_data")) color_adj.load_col_adj_data_from_node(adj);
    return 1;
}

void CTexFileCreateOpt::save_create_opt_to_node(CPakNode* parent, const char* name) const {
    CPakNode* dir = parent ? parent->create_dir_node(name) : nullptr;
    if (!dir) return;
    dir->create_data_node("VR_TYPE", NODE_STR32, opt_dir_type);
    qcore::detail::put_int_node(dir, "tex_type", tex_type);
    qcore::detail::put_int_node(dir, "user_fmt", static_cast<int>(user_fmt));
    dir->create_data_node("size", NODE_CSIZE, &size);
    qcore::detail::put_int_node(dir, "mipcount", mipcount);
    qcore::detail::put_int_node(dir, "auto_size_factor", auto_size_factor);
    qcore::detail::put_int_node(dir, "use_max_clamp", use_max_clamp);
    qcore::detail::put_int_node(dir, "use_min_clamp", use_min_clamp);
    qcore::detail::put_int_node(dir, "max_clamp_value", max_clamp_value);
    qcore::detail::put_int_node(dir, "min_clamp_value", min_clamp_value);
    qcore::detail::put_int_node(dir, "enable_col_adj", enable_col_adj);
    if (enable_col_adj) color_adj.save_col_adj_data_to_node(dir, "color_adj_data");
}

CTexStrategy::CTexStrategy() {
    // The fourth slot is requested by nothing; it starts as a plain colour format.
    tex_fmt[TEX_TYPE_EXTRA] = D3DFMT_A8R8G8B8;
    set_default();
}

void CTexStrategy::set_default() {
    size_width = size_height = 0;
    auto_size_factor = 0;
    mipmap = 0;
    use_max_clamp = use_min_clamp = 0;
    max_clamp_value = 1024;
    min_clamp_value = 8;
    tex_fmt[TEX_TYPE_NORMAL] = D3DFMT_A8R8G8B8;
    tex_fmt[TEX_TYPE_ALPHA] = D3DFMT_A8R8G8B8;
    tex_fmt[TEX_TYPE_BUMP] = D3DFMT_V8U8;
}

void CTexStrategy::set_format(TEX_TYPE type, D3DFORMAT format) {
    if (!is_valid_tex_type(type)) {
        AfxMessageBox("set_format() err", MB_OK, 0);
        return;
    }
    if (type != TEX_TYPE_USER) tex_fmt[type] = format;
}

D3DFORMAT CTexStrategy::get_format(TEX_TYPE type, D3DFORMAT user_fmt) const {
    if (!is_valid_tex_type(type)) {
        AfxMessageBox("get_format() err", MB_OK, 0);
        return tex_fmt[0];
    }
    return type == TEX_TYPE_USER ? user_fmt : tex_fmt[type];
}

int CTexStrategy::is_same(const CTexStrategy* o) const {
    if (!o) return 0;
    if (size_width != o->size_width || size_height != o->size_height) return 0;
    if (auto_size_factor != o->auto_size_factor && size_width == 0 && size_height == 0) return 0;
    if (mipmap != o->mipmap) return 0;
    if (!std::equal(tex_fmt, tex_fmt + 4, o->tex_fmt)) return 0;
    return use_max_clamp == o->use_max_clamp && use_min_clamp == o->use_min_clamp &&
           max_clamp_value == o->max_clamp_value && min_clamp_value == o->min_clamp_value;
}

void CTexStrategy::apply_to(CTexFileCreateOpt& opt) const {
    opt.size = CSize(size_width, size_height);
    opt.mipcount = mipmap;
    opt.auto_size_factor = auto_size_factor;
    opt.use_max_clamp = use_max_clamp;
    opt.use_min_clamp = use_min_clamp;
    opt.max_clamp_value = max_clamp_value;
    opt.min_clamp_value = min_clamp_value;
}

int CTexStrategy::load_strategy_from_node(IDirect3DDevice8*, CPakNode* node) {
    if (!node || !node->is_type("VR_TYPE", strategy_dir_type)) return 0;
    set_default();
    node->find_data("size_width", NODE_INT, &size_width);
    node->find_data("size_height", NODE_INT, &size_height);
    node->find_data("mipmap", NODE_INT, &mipmap);
    node->find_data("use_max_clamp", NODE_INT, &use_max_clamp);
    node->find_data("use_min_clamp", NODE_INT, &use_min_clamp);
    node->find_data("max_clamp_value", NODE_INT, &max_clamp_value);
    node->find_data("min_clamp_value", NODE_INT, &min_clamp_value);
    node->find_data("auto_size_factor", NODE_INT, &auto_size_factor);
    for (int i = 0; i < 4; ++i) {
        CString key;
        key.Format("tex_fmt%d", i);
        int fmt = static_cast<int>(tex_fmt[i]);
        node->find_data(key, NODE_INT, &fmt);
        tex_fmt[i] = static_cast<D3DFORMAT>(fmt);
    }
    return 1;
}

void CTexStrategy::save_stragegy_to_node(CPakNode* parent, const char* name, const CSaveOpt* opt) {
    const CSaveOpt defaults;
    if (!opt) opt = &defaults;
    CPakNode* dir = parent ? parent->create_dir_node(name) : nullptr;
    if (!dir) return;
    dir->create_data_node("VR_TYPE", NODE_STR32, strategy_dir_type);
    qcore::detail::put_int_node(dir, "size_width", size_width);
    qcore::detail::put_int_node(dir, "size_height", size_height);
    qcore::detail::put_int_node(dir, "mipmap", mipmap);
    qcore::detail::put_int_node(dir, "use_max_clamp", use_max_clamp);
    qcore::detail::put_int_node(dir, "use_min_clamp", use_min_clamp);
    qcore::detail::put_int_node(dir, "max_clamp_value", max_clamp_value);
    qcore::detail::put_int_node(dir, "min_clamp_value", min_clamp_value);
    const int factor = opt->convert_to_dds ? 0 : auto_size_factor;
    qcore::detail::put_int_node(dir, "auto_size_factor", factor);
    for (int i = 0; i < 4; ++i) {
        CString key;
        key.Format("tex_fmt%d", i);
        qcore::detail::put_int_node(dir, key, static_cast<int>(tex_fmt[i]));
    }
    for (int i = 0; i < 4; ++i) {
        CString key;
        key.Format("tex_fmt_name%d", i);
        dir->create_data_node(key, NODE_STR32, d3fmt::get_fmt_name(tex_fmt[i]).GetString());
    }
    if (!opt->keep_current_settings) auto_size_factor = factor;
}

CString d3fmt::get_fmt_name(D3DFORMAT format) {
    struct Name {
        D3DFORMAT fmt;
        const char* name;
    };
    static constexpr Name names[] = {
        {D3DFMT_UNKNOWN, "Unknown"},
        {D3DFMT_R8G8B8, "R8G8B8"},
        {D3DFMT_A8R8G8B8, "A8R8G8B8"},
        {D3DFMT_X8R8G8B8, "X8R8G8B8"},
        {D3DFMT_R5G6B5, "R5G6B5"},
        {D3DFMT_X1R5G5B5, "X1R5G5B5"},
        {D3DFMT_A1R5G5B5, "A1R5G5B5"},
        {D3DFMT_A4R4G4B4, "A4R4G4B4"},
        {D3DFMT_R3G3B2, "R3G3B2"},
        {D3DFMT_A8, "A8"},
        {D3DFMT_A8R3G3B2, "A8R3G3B2"},
        {D3DFMT_X4R4G4B4, "X4R4G4B4"},
        {D3DFMT_A2B10G10R10, "A2B10G10R10"},
        {D3DFMT_G16R16, "G16R16"},
        {D3DFMT_A8P8, "A8P8"},
        {D3DFMT_P8, "P8"},
        {D3DFMT_L8, "L8"},
        {D3DFMT_A8L8, "A8L8"},
        {D3DFMT_A4L4, "A4L4"},
        {D3DFMT_V8U8, "V8U8"},
        {D3DFMT_L6V5U5, "L6V5U5"},
        {D3DFMT_X8L8V8U8, "X8L8V8U8"},
        {D3DFMT_Q8W8V8U8, "Q8W8V8U8"},
        {D3DFMT_V16U16, "V16U16"},
        {D3DFMT_W11V11U10, "W11V11U10"},
        {D3DFMT_A2W10V10U10, "A2W10V10U10"},
        {D3DFMT_D16_LOCKABLE, "D16_LOCKABLE"},
        {D3DFMT_D32, "D32"},
        {D3DFMT_D15S1, "D15S1"},
        {D3DFMT_D24S8, "D24S8"},
        {D3DFMT_D24X8, "D24X8"},
        {D3DFMT_D24X4S4, "D24X4S4"},
        {D3DFMT_D16, "D16"},
        {D3DFMT_VERTEXDATA, "VERTEXDATA"},
        {D3DFMT_INDEX16, "INDEX16"},
        {D3DFMT_INDEX32, "INDEX32"},
        {D3DFMT_DXT1, "DXT1"},
        {D3DFMT_DXT2, "DXT2"},
        {D3DFMT_DXT3, "DXT3"},
        {D3DFMT_DXT4, "DXT4"},
        {D3DFMT_DXT5, "DXT5"},
        {D3DFMT_YUY2, "YUY2"},
        {D3DFMT_UYVY, "UYVY"},
    };
    for (const Name& n : names)
        if (n.fmt == format) return CString(n.name);
    return CString("fmt unknown");
}

d3fmt::FMT_CATEGORY d3fmt::get_fmt_type(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_V8U8:
    case D3DFMT_Q8W8V8U8:
    case D3DFMT_V16U16:
        return FMT_BUMP;
    case D3DFMT_L6V5U5:
        return FMT_BUMP_LUMINANCE;
    default:
        return FMT_COLOR;
    }
}

int qcore::tex_near_size(int n) {
    if (n < 8) return 8;
    for (int p = 3; p <= 12; ++p) {
        const int lo = 1 << p, hi = 1 << (p + 1);
        if (n >= max_tex_dimension) break;
        if (n == lo || n == hi) return n;
        if (n > lo && n < hi) return hi - n < n - lo ? hi : lo;
    }
    return 1024;
}

qcore::TexSize qcore::tex_size_rule(int width, int height, const CTexFileCreateOpt& opt) {
    const int nw = tex_near_size(width), nh = tex_near_size(height);
    int w, h;
    if (opt.size.cx != 0 && opt.size.cy != 0) {
        w = std::min(opt.size.cx, nw);
        h = std::min(opt.size.cy, nh);
    } else {
        // The factor comes from files: far out of range it must not overflow the scaled size.
        const int f = std::clamp(opt.auto_size_factor, -16, 30);
        const double s = 1.0 / std::ldexp(1.0, f);
        w = scaled_dimension(nw, s);
        h = scaled_dimension(nh, s);
    }
    if (opt.use_max_clamp) w = std::min(w, opt.max_clamp_value), h = std::min(h, opt.max_clamp_value);
    if (opt.use_min_clamp) w = std::max(w, opt.min_clamp_value), h = std::max(h, opt.min_clamp_value);
    w = std::clamp(w, min_tex_dimension, max_tex_dimension);
    h = std::clamp(h, min_tex_dimension, max_tex_dimension);
    return {w, h};
}
