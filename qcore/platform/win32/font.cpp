#include <qcore/platform/win32/font.h>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace qcore::detail {
namespace {

// Chinese face names of the platform, and the Latin names fontconfig's aliases know them by.
const std::pair<const char*, const char*> kFaceAliases[] = {
    {"\xE5\xAE\x8B\xE4\xBD\x93", "SimSun"},                                  // 宋体
    {"\xE6\x96\xB0\xE5\xAE\x8B\xE4\xBD\x93", "NSimSun"},                     // 新宋体
    {"\xE9\xBB\x91\xE4\xBD\x93", "SimHei"},                                  // 黑体
    {"\xE5\xBE\xAE\xE8\xBD\xAF\xE9\x9B\x85\xE9\xBB\x91", "Microsoft YaHei"}, // 微软雅黑
    {"\xE6\xA5\xB7\xE4\xBD\x93", "KaiTi"},                                   // 楷体
    {"\xE4\xBB\xBF\xE5\xAE\x8B", "FangSong"},                                // 仿宋
};
const char* const kChineseFamilies[] = {"SimSun",          "NSimSun", "SimHei",
                                        "Microsoft YaHei", "KaiTi",   "FangSong"};

struct Glyph {
    std::vector<uint8_t> coverage;
    int w = 0, h = 0, left = 0, top = 0, advance = 0;
};

struct Resolved {
    FT_Face primary = nullptr;
    bool chinese = false;
    std::string family;
    bool bold = false, italic = false, mono = false;
    int em = 12;     // whole pixels, for metrics
    long em64 = 768; // 26.6 fixed point, for rendering
    FontMetrics metrics;
    std::unordered_map<char32_t, FT_Face> faces; // per character, after fallbacks
};

using FontKey = std::tuple<std::string, int, bool, bool, bool>;
using GlyphKey = std::tuple<FT_Face, int, bool, bool, bool, unsigned>;
struct GlyphKeyHash {
    size_t operator()(const GlyphKey& k) const {
        size_t h = std::hash<const void*>()(std::get<0>(k));
        h = h * 31 + static_cast<size_t>(std::get<1>(k));
        h = h * 31 + (std::get<2>(k) ? 1 : 0) + (std::get<3>(k) ? 2 : 0) + (std::get<4>(k) ? 4 : 0);
        return h * 31 + std::get<5>(k);
    }
};

std::string utf8_family(const LOGFONTA& f) {
    std::string name(f.lfFaceName, strnlen(f.lfFaceName, LF_FACESIZE));
    for (auto& [from, to] : kFaceAliases)
        if (name == from) return to;
    return name.empty() ? std::string("sans-serif") : name;
}

bool is_chinese_family(const std::string& family) {
    for (const char* f : kChineseFamilies)
        if (strcasecmp(family.c_str(), f) == 0) return true;
    return false;
}

bool is_cjk(char32_t c) {
    return c >= 0x2E80 && c <= 0xFFEF;
}

class FontSystem {
public:
    FontSystem() {
        if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
        config_ = FcInitLoadConfigAndFonts();
    }
    FontSystem(const FontSystem&) = delete;
    FontSystem& operator=(const FontSystem&) = delete;

    std::mutex mutex;

    Resolved* resolve(const LOGFONTA& f) {
        const std::string family = utf8_family(f);
        const bool bold = f.lfWeight >= FW_SEMIBOLD, italic = f.lfItalic != 0;
        const bool mono = f.lfQuality == NONANTIALIASED_QUALITY;
        FontKey key{family, static_cast<int>(f.lfHeight), bold, italic, mono};
        auto it = resolved_.find(key);
        if (it != resolved_.end()) return &it->second;
        Resolved r;
        r.family = family;
        r.chinese = is_chinese_family(family);
        r.bold = bold;
        r.italic = italic;
        r.mono = mono;
        r.primary = match(family, bold, italic, 0, r.chinese);
        if (!r.primary) return nullptr;
        set_metrics(r, f.lfHeight);
        if (resolved_.size() > 256) resolved_.clear();
        return &resolved_.emplace(key, std::move(r)).first->second;
    }

    FT_Face face_for(Resolved& r, char32_t c) {
        auto it = r.faces.find(c);
        if (it != r.faces.end()) return it->second;
        FT_Face face = r.primary;
        if (!FT_Get_Char_Index(face, c)) {
            FT_Face other = match(r.family, r.bold, r.italic, c, r.chinese || is_cjk(c));
            if (other && FT_Get_Char_Index(other, c)) face = other;
        }
        if (r.faces.size() < 65536) r.faces.emplace(c, face);
        return face;
    }

    const Glyph* glyph(Resolved& r, char32_t c) {
        FT_Face face = face_for(r, c);
        const GlyphKey key{face,   static_cast<int>(r.em64), r.bold, r.italic,
                           r.mono, static_cast<unsigned>(c)};
        auto it = glyphs_.find(key);
        if (it != glyphs_.end()) return &it->second;
        if (glyphs_.size() > 50000) glyphs_.clear();
        Glyph g;
        render(face, r, c, g);
        return &glyphs_.emplace(key, std::move(g)).first->second;
    }

    std::string file_of(FT_Face face) const {
        for (auto& [k, f] : faces_)
            if (f == face) return k.first;
        return std::string();
    }

private:
    FT_Face open_face(const std::string& file, int index) {
        auto key = std::make_pair(file, index);
        auto it = faces_.find(key);
        if (it != faces_.end()) return it->second;
        FT_Face face = nullptr;
        if (FT_New_Face(library_, file.c_str(), index, &face) != 0) face = nullptr;
        faces_.emplace(key, face);
        return face;
    }

    FT_Face match(const std::string& family, bool bold, bool italic, char32_t c, bool chinese) {
        if (!library_ || !config_) return nullptr;
        FcPattern* pat = FcPatternCreate();
        FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
        if (chinese) FcPatternAddString(pat, FC_LANG, reinterpret_cast<const FcChar8*>("zh-cn"));
        if (c) {
            FcCharSet* cs = FcCharSetCreate();
            FcCharSetAddChar(cs, c);
            FcPatternAddCharSet(pat, FC_CHARSET, cs);
            FcCharSetDestroy(cs);
        }
        FcConfigSubstitute(config_, pat, FcMatchPattern);
        FcDefaultSubstitute(pat);
        FcResult result;
        FcPattern* m = FcFontMatch(config_, pat, &result);
        FcPatternDestroy(pat);
        if (!m) return nullptr;
        FcChar8* file = nullptr;
        int index = 0;
        FT_Face face = nullptr;
        if (FcPatternGetString(m, FC_FILE, 0, &file) == FcResultMatch) {
            FcPatternGetInteger(m, FC_INDEX, 0, &index);
            face = open_face(reinterpret_cast<const char*>(file), index);
        }
        FcPatternDestroy(m);
        return face;
    }

    // Windows sizes fonts by cell height (positive) or by em height (negative), from the OS/2 win metrics.
    void set_metrics(Resolved& r, LONG height) {
        FT_Face face = r.primary;
        const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        double asc = os2 && os2->usWinAscent ? os2->usWinAscent : face->ascender;
        double desc = os2 && os2->usWinAscent ? os2->usWinDescent : -face->descender;
        const double upem = face->units_per_EM ? face->units_per_EM : 1000;
        if (asc + desc <= 0) asc = upem, desc = 0;
        if (height == 0) height = 16;
        const double em = height > 0 ? height * upem / (asc + desc) : -static_cast<double>(height);
        const double clamped = std::clamp(em, 1.0, 2048.0);
        r.em = static_cast<int>(std::lround(clamped));
        r.em64 = std::lround(clamped * 64);
        const int cell =
            height > 0 ? static_cast<int>(height) : static_cast<int>(std::lround(em * (asc + desc) / upem));
        r.metrics.height = std::min(cell, 4096);
        r.metrics.ascent = static_cast<int>(std::lround(asc * clamped / upem));
        r.metrics.descent = r.metrics.height - r.metrics.ascent;
        const Glyph* x = glyph(r, U'x');
        r.metrics.ave_width = x ? x->advance : r.em / 2;
        r.metrics.max_width = r.em;
    }

    void render(FT_Face face, const Resolved& r, char32_t c, Glyph& g) {
        if (!face || FT_Set_Char_Size(face, 0, r.em64, 72, 72) != 0) return;
        const FT_UInt index = FT_Get_Char_Index(face, c);
        const FT_Int32 flags = FT_LOAD_NO_BITMAP | (r.mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
        if (FT_Load_Glyph(face, index, flags) != 0) return;
        FT_GlyphSlot slot = face->glyph;
        if (r.bold && !(face->style_flags & FT_STYLE_FLAG_BOLD)) FT_GlyphSlot_Embolden(slot);
        if (r.italic && !(face->style_flags & FT_STYLE_FLAG_ITALIC)) FT_GlyphSlot_Oblique(slot);
        g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
        if (FT_Render_Glyph(slot, r.mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return;
        const FT_Bitmap& bm = slot->bitmap;
        g.w = static_cast<int>(bm.width);
        g.h = static_cast<int>(bm.rows);
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.coverage.assign(static_cast<size_t>(g.w) * g.h, 0);
        for (int y = 0; y < g.h; ++y) {
            const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
            for (int x = 0; x < g.w; ++x) {
                const bool mono = bm.pixel_mode == FT_PIXEL_MODE_MONO;
                const uint8_t v = mono ? ((row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0) : row[x];
                g.coverage[static_cast<size_t>(y) * g.w + x] = v;
            }
        }
    }

    FT_Library library_ = nullptr;
    FcConfig* config_ = nullptr;
    std::map<std::pair<std::string, int>, FT_Face> faces_;
    std::map<FontKey, Resolved> resolved_;
    std::unordered_map<GlyphKey, Glyph, GlyphKeyHash> glyphs_;
};

FontSystem& fonts() {
    static FontSystem* f = new FontSystem; // faces stay open until exit
    return *f;
}

} // namespace

std::u32string decode_utf8(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        int n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        char32_t c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
        bool ok = n > 0 && i + n <= s.size();
        for (int k = 1; ok && k < n; ++k) {
            const auto cb = static_cast<unsigned char>(s[i + k]);
            ok = (cb >> 6) == 2;
            c = (c << 6) | (cb & 0x3F);
        }
        out.push_back(ok ? c : U'?');
        i += ok ? n : 1;
    }
    return out;
}

FontMetrics font_metrics(const LOGFONTA& font) {
    FontSystem& fs = fonts();
    std::lock_guard lock(fs.mutex);
    Resolved* r = fs.resolve(font);
    return r ? r->metrics : FontMetrics{};
}

int text_width(const LOGFONTA& font, std::string_view text) {
    FontSystem& fs = fonts();
    std::lock_guard lock(fs.mutex);
    Resolved* r = fs.resolve(font);
    if (!r) return 0;
    int w = 0;
    for (char32_t c : decode_utf8(text))
        if (const Glyph* g = fs.glyph(*r, c)) w += g->advance;
    return w;
}

int render_text(const LOGFONTA& font, std::string_view text, int x, int y, const GlyphSink& sink) {
    FontSystem& fs = fonts();
    std::lock_guard lock(fs.mutex);
    Resolved* r = fs.resolve(font);
    if (!r) return 0;
    const int baseline = y + r->metrics.ascent;
    int pen = x;
    for (char32_t c : decode_utf8(text)) {
        const Glyph* g = fs.glyph(*r, c);
        if (!g) continue;
        if (g->w > 0 && g->h > 0)
            sink(g->coverage.data(), g->w, g->h, g->w, pen + g->left, baseline - g->top);
        pen += g->advance;
    }
    return pen - x;
}

std::string font_file_for(const LOGFONTA& font, std::string_view text) {
    FontSystem& fs = fonts();
    std::lock_guard lock(fs.mutex);
    Resolved* r = fs.resolve(font);
    if (!r) return std::string();
    const std::u32string chars = decode_utf8(text);
    return fs.file_of(chars.empty() ? r->primary : fs.face_for(*r, chars.front()));
}

} // namespace qcore::detail
