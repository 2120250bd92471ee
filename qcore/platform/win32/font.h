#pragma once
// Internal: text measured and rendered with fontconfig and FreeType for the GDI stand-in. Thread-safe.
#include <qcore/platform/win32/gdi.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qcore::detail {

struct FontMetrics {
    int height = 0; // cell height: ascent + descent
    int ascent = 0;
    int descent = 0;
    int ave_width = 0;
    int max_width = 0;
};

// One rendered glyph: coverage 0..255, `w` by `h`, rows `pitch` bytes apart, placed at (x, y).
using GlyphSink = std::function<void(const uint8_t* coverage, int w, int h, int pitch, int x, int y)>;

// Code points of UTF-8 text; an invalid byte stands for itself as '?', so text of another code page
// still shows something.
std::u32string decode_utf8(std::string_view s);

FontMetrics font_metrics(const LOGFONTA& font);
// Width of one line of UTF-8 text (sum of advances).
int text_width(const LOGFONTA& font, std::string_view text);
// Renders one line with its cell's top-left corner at (x, y); returns the advance width.
int render_text(const LOGFONTA& font, std::string_view text, int x, int y, const GlyphSink& sink);
// The face file fontconfig chose for a face name and a sample of the text (tests check the fallbacks).
std::string font_file_for(const LOGFONTA& font, std::string_view text);

} // namespace qcore::detail
