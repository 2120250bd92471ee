#include <qcore/core/d3d_font.h>
#include <qcore/core/device.h>
#include <qcore/core/rs_man.h>
#include <qcore/platform/win32/com_ref.h>
#include <qcore/platform/win32/font.h>
#include <qcore/platform/win32/gdi.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr int kFirstChar = 32;
constexpr int kLastChar = 126;
constexpr UINT kBatchQuads = 50;
constexpr UINT kBatchVertices = kBatchQuads * 6;
constexpr UINT kVertexBufferBytes = kBatchVertices * sizeof(VER_RHW_DIF_TEX); // 8400
constexpr size_t kMaxExtraGlyphs = 4096;
// Screen text sits near the far plane, so that scene geometry hides it when depth testing is on.
constexpr float kTextDepth = 0.9f;

// The GDI side of glyph drawing: a memory DC over a top-down 32-bit DIB with the font selected, white
// text on black.
class GlyphCanvas {
public:
    GlyphCanvas(const char* face, int height, DWORD flags) {
        font_ =
            CreateFontA(height, 0, 0, 0, (flags & CD3dFont::BOLD) ? FW_BOLD : FW_NORMAL,
                        (flags & CD3dFont::ITALIC) ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, VARIABLE_PITCH, face);
        dc_ = CreateCompatibleDC(nullptr);
        if (!font_ || !dc_) return;
        old_font_ = SelectObject(dc_, font_);
        SetMapMode(dc_, MM_TEXT);
        SetTextColor(dc_, RGB(255, 255, 255));
        SetBkColor(dc_, 0);
        SetTextAlign(dc_, TA_TOP);
    }
    GlyphCanvas(const GlyphCanvas&) = delete;
    GlyphCanvas& operator=(const GlyphCanvas&) = delete;
    ~GlyphCanvas() {
        if (dc_) {
            if (old_font_) SelectObject(dc_, old_font_);
            if (old_bitmap_) SelectObject(dc_, old_bitmap_);
            DeleteDC(dc_);
        }
        if (bitmap_) DeleteObject(bitmap_);
        if (font_) DeleteObject(font_);
    }
    bool ok() const { return font_ && dc_ && old_font_; }

    // A cleared (black) bitmap of the given size to draw into.
    bool make_bitmap(int w, int h) {
        BITMAPINFO bi{};
        bi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP b = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!b) return false;
        HGDIOBJ previous = SelectObject(dc_, b);
        if (!old_bitmap_) old_bitmap_ = previous;
        if (bitmap_) DeleteObject(bitmap_);
        bitmap_ = b;
        bits_ = static_cast<const uint32_t*>(bits);
        width_ = w;
        return true;
    }
    SIZE measure(std::string_view s) const {
        SIZE size{0, 0};
        GetTextExtentPoint32A(dc_, s.data(), static_cast<int>(s.size()), &size);
        return size;
    }
    void draw(int x, int y, std::string_view s) const {
        ExtTextOutA(dc_, x, y, ETO_OPAQUE, nullptr, s.data(), static_cast<UINT>(s.size()), nullptr);
    }
    const uint32_t* row(int y) const { return bits_ + static_cast<ptrdiff_t>(y) * width_; }

private:
    HFONT font_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ old_font_ = nullptr, old_bitmap_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    const uint32_t* bits_ = nullptr;
    int width_ = 0;
};

// White texels whose alpha is the top four bits of the drawn pixel's blue byte.
bool upload(IDirect3DTexture8* texture, const GlyphCanvas& canvas, int src_x, int src_y, const RECT& dst) {
    D3DLOCKED_RECT lr{};
    if (FAILED(texture->LockRect(0, &lr, &dst, 0))) return false;
    for (LONG y = 0; y < dst.bottom - dst.top; ++y) {
        const uint32_t* src = canvas.row(src_y + static_cast<int>(y)) + src_x;
        auto* out = reinterpret_cast<WORD*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch);
        for (LONG x = 0; x < dst.right - dst.left; ++x)
            out[x] = static_cast<WORD>(((src[x] & 0xFF) >> 4) << 12 | 0x0FFF);
    }
    texture->UnlockRect(0);
    return true;
}

std::string utf8_of(char32_t c) {
    std::string s;
    if (c < 0x80) {
        s.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        s.push_back(static_cast<char>(0xC0 | (c >> 6)));
        s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        s.push_back(static_cast<char>(0xE0 | (c >> 12)));
        s.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        s.push_back(static_cast<char>(0xF0 | (c >> 18)));
        s.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
    return s;
}

CRsMan* rs_man_of(gCore* core) {
    return core && core->dev ? core->dev->get_rs_man() : nullptr;
}

} // namespace

CD3dFont::CD3dFont(gCore* c) : CLocalObj(c) {}

CD3dFont::~CD3dFont() {
    v_on_delete_local_objects();
    if (texture) texture->Release();
}

bool CD3dFont::Init(IDirect3DDevice8* device, const char* face, int height_in_pixels, DWORD flags) {
    if (!device || height_in_pixels <= 0) return false;
    v_on_delete_local_objects();
    if (texture) texture->Release();
    texture = nullptr;
    extra_glyphs_.clear();
    dev = device;
    face_name = face ? face : "";
    height = height_in_pixels;
    create_flags = flags;

    tex_width = tex_height = height > 40 ? 1024 : height > 20 ? 512 : 256;
    tex_scale = 1.0f;
    D3DCAPS8 caps{};
    dev->GetDeviceCaps(&caps);
    if (caps.MaxTextureWidth && tex_width > caps.MaxTextureWidth) {
        tex_scale = static_cast<float>(caps.MaxTextureWidth) / static_cast<float>(tex_width);
        tex_width = tex_height = caps.MaxTextureWidth;
    }
    if (FAILED(dev->CreateTexture(tex_width, tex_height, 1, 0, D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, &texture))) {
        texture = nullptr;
        return false;
    }

    // A shrunken texture gets a proportionally smaller font, drawn back at full size.
    const int drawn_height = std::max(1, static_cast<int>(std::lround(height * tex_scale)));
    GlyphCanvas canvas(face_name, drawn_height, create_flags);
    const int w = static_cast<int>(tex_width), h = static_cast<int>(tex_height);
    if (!canvas.ok() || !canvas.make_bitmap(w, h)) return false;
    int x = 0, y = 0, row = 0;
    for (int c = kFirstChar; c <= kLastChar; ++c) {
        const char ch = static_cast<char>(c);
        const SIZE size = canvas.measure(std::string_view(&ch, 1));
        if (x + size.cx + 1 > w) {
            x = 0;
            y += row + 1;
            row = 0;
        }
        if (y + size.cy > h) return false; // cannot happen with the sizes above; never write past the bitmap
        canvas.draw(x, y, std::string_view(&ch, 1));
        float* t = tex_coords[c - kFirstChar];
        t[0] = static_cast<float>(x) / static_cast<float>(w);
        t[1] = static_cast<float>(y) / static_cast<float>(h);
        t[2] = static_cast<float>(x + size.cx) / static_cast<float>(w);
        t[3] = static_cast<float>(y + size.cy) / static_cast<float>(h);
        x += size.cx + 1;
        row = std::max(row, static_cast<int>(size.cy));
    }
    pack_x_ = x;
    pack_y_ = y;
    pack_row_ = row;
    if (!upload(texture, canvas, 0, 0, RECT{0, 0, w, h})) return false;
    v_on_restore_local_objects();
    return true;
}

void CD3dFont::v_on_restore_local_objects() {
    if (!dev || vb) return; // a font whose Init never ran has nothing to rebuild
    const HRESULT hr = dev->CreateVertexBuffer(kVertexBufferBytes, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, 0,
                                               D3DPOOL_DEFAULT, &vb);
    if (FAILED(hr)) {
        vb = nullptr;
        MsgErr(hr, "Err Create font texture");
    }
}

void CD3dFont::v_on_delete_local_objects() {
    if (vb) vb->Release();
    vb = nullptr;
}

bool CD3dFont::add_glyph(char32_t c) {
    if (!texture || extra_glyphs_.size() >= kMaxExtraGlyphs) return false;
    const std::string s = utf8_of(c);
    const int drawn_height = std::max(1, static_cast<int>(std::lround(height * tex_scale)));
    GlyphCanvas canvas(face_name, drawn_height, create_flags);
    if (!canvas.ok()) return false;
    const SIZE size = canvas.measure(s);
    const int w = static_cast<int>(tex_width), h = static_cast<int>(tex_height);
    if (size.cx <= 0 || size.cy <= 0 || size.cx + 1 > w) return false;
    if (pack_x_ + size.cx + 1 > w) {
        pack_x_ = 0;
        pack_y_ += pack_row_ + 1;
        pack_row_ = 0;
    }
    if (pack_y_ + size.cy > h || !canvas.make_bitmap(size.cx, size.cy)) return false;
    canvas.draw(0, 0, s);
    const RECT dst{pack_x_, pack_y_, pack_x_ + size.cx, pack_y_ + size.cy};
    if (!upload(texture, canvas, 0, 0, dst)) return false;
    extra_glyphs_[c] = {static_cast<float>(dst.left) / static_cast<float>(w),
                        static_cast<float>(dst.top) / static_cast<float>(h),
                        static_cast<float>(dst.right) / static_cast<float>(w),
                        static_cast<float>(dst.bottom) / static_cast<float>(h)};
    pack_x_ += size.cx + 1;
    pack_row_ = std::max(pack_row_, static_cast<int>(size.cy));
    return true;
}

const float* CD3dFont::get_glyph(char32_t c) {
    if (!texture) return nullptr;
    if (c >= kFirstChar && c <= kLastChar) return tex_coords[c - kFirstChar];
    if (c < 0x80) return nullptr; // controls and DEL have no glyph
    auto it = extra_glyphs_.find(c);
    if (it != extra_glyphs_.end()) return it->second.data();
    if (add_glyph(c)) return extra_glyphs_[c].data();
    return tex_coords['?' - kFirstChar];
}

float CD3dFont::line_height() const {
    return (tex_coords[0][3] - tex_coords[0][1]) * static_cast<float>(tex_height) / tex_scale;
}

// Calls sink(Quad) for every visible glyph, in pixels from the text's origin; returns nothing.
template <class Sink> void CD3dFont::layout(std::string_view text, Sink&& sink) {
    const float line = line_height();
    float x = 0, y = 0;
    for (char32_t c : qcore::detail::decode_utf8(text)) {
        if (c == '\n') {
            x = 0;
            y += line;
            continue;
        }
        if (c < kFirstChar) continue;
        const float* uv = get_glyph(c);
        if (!uv) continue;
        const float w = (uv[2] - uv[0]) * static_cast<float>(tex_width) / tex_scale;
        const float h = (uv[3] - uv[1]) * static_cast<float>(tex_height) / tex_scale;
        if (c != ' ') sink(Quad{x, y, w, h, uv});
        x += w;
    }
}

CSize CD3dFont::GetTextExtent(const char* text) {
    if (!text || !*text || !texture) return CSize(0, 0);
    const float line = line_height();
    float widest = 0, width = 0;
    int lines = 1;
    for (char32_t c : qcore::detail::decode_utf8(text)) {
        if (c == '\n') {
            widest = std::max(widest, width);
            width = 0;
            ++lines;
            continue;
        }
        if (c < kFirstChar) continue;
        if (const float* uv = get_glyph(c))
            width += (uv[2] - uv[0]) * static_cast<float>(tex_width) / tex_scale;
    }
    widest = std::max(widest, width);
    return CSize(static_cast<int>(widest), static_cast<int>(line * static_cast<float>(lines)));
}

void CD3dFont::apply_font_states(DWORD render_flags) {
    CRsMan* rs = rs_man_of(core);
    dev->SetTexture(0, texture);
    rs->set_rs(D3DRS_ZENABLE, (create_flags & ZENABLE) ? TRUE : FALSE);
    rs->set_rs(D3DRS_ALPHABLENDENABLE, TRUE);
    rs->set_rs(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    rs->set_rs(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    rs->set_rs(D3DRS_ALPHATESTENABLE, TRUE);
    rs->set_rs(D3DRS_ALPHAREF, 0x08);
    rs->set_rs(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    rs->set_rs(D3DRS_FILLMODE, D3DFILL_SOLID);
    rs->set_rs(D3DRS_CULLMODE, (render_flags & TWOSIDED) ? D3DCULL_NONE : D3DCULL_CCW);
    rs->set_rs(D3DRS_STENCILENABLE, FALSE);
    rs->set_rs(D3DRS_CLIPPING, TRUE);
    rs->set_rs(D3DRS_EDGEANTIALIAS, FALSE);
    rs->set_rs(D3DRS_CLIPPLANEENABLE, 0);
    rs->set_rs(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    rs->set_rs(D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE);
    rs->set_rs(D3DRS_FOGENABLE, FALSE);
    rs->tss_color(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    rs->tss_alpha(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    const DWORD filter = (render_flags & FILTERED) ? D3DTEXF_LINEAR : D3DTEXF_POINT;
    rs->set_tss(0, D3DTSS_MINFILTER, filter);
    rs->set_tss(0, D3DTSS_MAGFILTER, filter);
    rs->set_tss(0, D3DTSS_MIPFILTER, D3DTEXF_NONE);
    rs->set_tss(0, D3DTSS_TEXCOORDINDEX, 0);
    rs->set_tss(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    rs->set_tss(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    rs->set_tss(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

namespace {

// The render and stage states on the manager's stack, and the stage-0 texture, for one drawing call.
class FontStateScope {
public:
    FontStateScope(IDirect3DDevice8* dev, CRsMan* rs) : dev_(dev), rs_(rs) {
        dev_->GetTexture(0, reinterpret_cast<IDirect3DBaseTexture8**>(old_texture_.out()));
        rs_handle_ = rs_->capture_rs();
        tss_handle_ = rs_->capture_tss();
    }
    FontStateScope(const FontStateScope&) = delete;
    FontStateScope& operator=(const FontStateScope&) = delete;
    ~FontStateScope() {
        rs_->restore_tss(tss_handle_);
        rs_->restore_rs(rs_handle_);
        dev_->SetTexture(0, old_texture_.get());
    }

private:
    IDirect3DDevice8* dev_;
    CRsMan* rs_;
    qcore::ComRef<IDirect3DBaseTexture8> old_texture_;
    int rs_handle_ = 0, tss_handle_ = 0;
};

} // namespace

int CD3dFont::draw_quads(std::string_view text, float x, float y, float z, float x_scale, float y_scale,
                         DWORD color, DWORD render_flags) {
    CRsMan* rs = rs_man_of(core);
    if (!dev || !texture || !vb || !rs) return 0;
    if (render_flags & CENTERED) {
        const CSize extent = GetTextExtent(std::string(text).c_str());
        x -= static_cast<float>(extent.cx) * x_scale / 2;
        y -= static_cast<float>(extent.cy) * y_scale / 2;
    }
    x = std::round(x) - 0.5f;
    y = std::round(y) - 0.5f;
    FontStateScope scope(dev, rs);
    apply_font_states(render_flags);
    dev->SetVertexShader(FVF_RHW_DIF_TEX);
    dev->SetStreamSource(0, vb, sizeof(VER_RHW_DIF_TEX));

    BYTE* data = nullptr;
    if (FAILED(vb->Lock(0, 0, &data, D3DLOCK_DISCARD))) return 0;
    auto* v = reinterpret_cast<VER_RHW_DIF_TEX*>(data);
    UINT n = 0;
    bool ok = true;
    layout(text, [&](const Quad& q) {
        if (!v) return;
        const float l = x + q.x * x_scale, t = y + q.y * y_scale;
        const float r = l + q.w * x_scale, b = t + q.h * y_scale;
        const float* uv = q.uv;
        const VER_RHW_DIF_TEX tl{l, t, z, 1.0f, color, uv[0], uv[1]}, tr{r, t, z, 1.0f, color, uv[2], uv[1]};
        const VER_RHW_DIF_TEX bl{l, b, z, 1.0f, color, uv[0], uv[3]}, br{r, b, z, 1.0f, color, uv[2], uv[3]};
        for (const VER_RHW_DIF_TEX& p : {bl, tl, br, tr, br, tl})
            v[n++] = p;
        if (n >= kBatchVertices) {
            vb->Unlock();
            ok = SUCCEEDED(dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, n / 3)) && ok;
            n = 0;
            data = nullptr;
            v = SUCCEEDED(vb->Lock(0, 0, &data, D3DLOCK_DISCARD)) ? reinterpret_cast<VER_RHW_DIF_TEX*>(data)
                                                                  : nullptr;
            ok = ok && v;
        }
    });
    if (v) {
        vb->Unlock();
        if (n) ok = SUCCEEDED(dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, n / 3)) && ok;
    }
    return ok ? 1 : 0;
}

int CD3dFont::RenderText(float x, float y, DWORD color, const char* text, DWORD render_flags) {
    if (!text) return 0;
    return draw_quads(text, x, y, kTextDepth, 1.0f, 1.0f, color, render_flags);
}

int CD3dFont::RenderTextScaled(float x, float y, float z, float x_scale, float y_scale, DWORD color,
                               const char* text, DWORD render_flags) {
    if (!text) return 0;
    return draw_quads(text, x, y, z, x_scale, y_scale, color, render_flags);
}

int CD3dFont::Render3DText(const char* text, DWORD render_flags) {
    CRsMan* rs = rs_man_of(core);
    if (!text || !dev || !texture || !rs) return 0;
    struct Vertex {
        float x, y, z;
        DWORD color;
        float u, v;
    };
    const float unit = 1.0f / std::max(line_height(), 1.0f);
    float ox = 0, oy = 0;
    if (render_flags & CENTERED) {
        const CSize extent = GetTextExtent(text);
        ox = -static_cast<float>(extent.cx) * unit / 2;
        oy = static_cast<float>(extent.cy) * unit / 2;
    }
    std::vector<Vertex> v;
    layout(text, [&](const Quad& q) {
        const float l = ox + q.x * unit, t = oy - q.y * unit;
        const float r = l + q.w * unit, b = t - q.h * unit;
        const float* uv = q.uv;
        const Vertex tl{l, t, 0, 0xFFFFFFFF, uv[0], uv[1]}, tr{r, t, 0, 0xFFFFFFFF, uv[2], uv[1]};
        const Vertex bl{l, b, 0, 0xFFFFFFFF, uv[0], uv[3]}, br{r, b, 0, 0xFFFFFFFF, uv[2], uv[3]};
        // Clockwise as seen from -z, the side a left-handed camera looks at by default.
        for (const Vertex& p : {bl, tl, br, tr, br, tl})
            v.push_back(p);
    });
    if (v.empty()) return 1;
    FontStateScope scope(dev, rs);
    apply_font_states(render_flags);
    rs->set_rs(D3DRS_LIGHTING, FALSE);
    dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    bool ok = true;
    for (size_t first = 0; first < v.size(); first += kBatchVertices) {
        const auto count = static_cast<UINT>(std::min<size_t>(kBatchVertices, v.size() - first));
        ok = SUCCEEDED(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, count / 3, &v[first], sizeof(Vertex))) && ok;
    }
    return ok ? 1 : 0;
}
