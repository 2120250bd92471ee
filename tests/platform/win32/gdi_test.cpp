#include <qcore/platform/win32/font.h>
#include <qcore/platform/win32/gdi.h>
#include <qcore/platform/win32/mfc_types.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A memory DC over a top-down 32-bit DIB section whose pixels the test reads directly.
class Canvas {
public:
    Canvas(int w, int h) : w_(w), h_(h) {
        BITMAPINFO bi{};
        bi.bmiHeader = BITMAPINFOHEADER{40, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bmp_ = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        px_ = static_cast<uint32_t*>(bits);
        dc_ = CreateCompatibleDC(nullptr);
        old_ = SelectObject(dc_, bmp_);
        clear(0xFFFFFF);
    }
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteDC(dc_);
        DeleteObject(bmp_);
    }
    void clear(uint32_t c) { std::fill(px_, px_ + w_ * h_, c); }
    uint32_t at(int x, int y) const { return px_[y * w_ + x] & 0xFFFFFF; }
    int count(uint32_t c) const {
        int n = 0;
        for (int i = 0; i < w_ * h_; ++i)
            n += (px_[i] & 0xFFFFFF) == c;
        return n;
    }
    // The bounding box of pixels that differ from c.
    CRect ink(uint32_t background = 0xFFFFFF) const {
        CRect r(w_, h_, -1, -1);
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                if (at(x, y) != background)
                    r.SetRect(std::min<int>(r.left, x), std::min<int>(r.top, y),
                              std::max<int>(r.right, x + 1), std::max<int>(r.bottom, y + 1));
        return r;
    }
    HDC dc() const { return dc_; }
    HBITMAP bitmap() const { return bmp_; }
    uint32_t* pixels() const { return px_; }

private:
    int w_, h_;
    HBITMAP bmp_;
    uint32_t* px_;
    HDC dc_;
    HGDIOBJ old_;
};

TEST(Gdi, FillAndFrameExcludeRightAndBottomEdges) {
    Canvas c(10, 10);
    RECT r{2, 3, 6, 8};
    FillRect(c.dc(), &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(c.ink(), CRect(2, 3, 6, 8));
    EXPECT_EQ(c.count(0), 4 * 5);
    c.clear(0xFFFFFF);
    FrameRect(c.dc(), &r, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    EXPECT_EQ(c.at(2, 3), 0x808080u);
    EXPECT_EQ(c.at(5, 7), 0x808080u);
    EXPECT_EQ(c.at(3, 4), 0xFFFFFFu);
    EXPECT_EQ(c.count(0x808080), 2 * 4 + 2 * 3);
    // A system colour index + 1 is a brush too.
    FillRect(c.dc(), &r, reinterpret_cast<HBRUSH>(COLOR_WINDOWTEXT + 1));
    EXPECT_EQ(c.at(3, 4), GetSysColor(COLOR_WINDOWTEXT));
}

TEST(Gdi, RectangleOutlinesWithPenAndShrinksWithoutOne) {
    Canvas c(10, 10);
    HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ old_pen = SelectObject(c.dc(), red);
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    HGDIOBJ old_brush = SelectObject(c.dc(), blue);
    Rectangle(c.dc(), 1, 1, 6, 5);
    EXPECT_EQ(c.ink(), CRect(1, 1, 6, 5));
    EXPECT_EQ(c.at(1, 1), 0xFF0000u);
    EXPECT_EQ(c.at(5, 4), 0xFF0000u);
    EXPECT_EQ(c.at(2, 2), 0x0000FFu);
    EXPECT_FALSE(DeleteObject(red)); // still selected
    SelectObject(c.dc(), GetStockObject(NULL_PEN));
    c.clear(0xFFFFFF);
    Rectangle(c.dc(), 1, 1, 6, 5);
    EXPECT_EQ(c.ink(), CRect(1, 1, 5, 4));
    SelectObject(c.dc(), old_pen);
    SelectObject(c.dc(), old_brush);
    EXPECT_TRUE(DeleteObject(red));
    EXPECT_TRUE(DeleteObject(blue));
    EXPECT_FALSE(DeleteObject(blue)); // stale handle
}

TEST(Gdi, LinesLeaveOutTheirEndPoint) {
    Canvas c(10, 10);
    MoveToEx(c.dc(), 1, 1, nullptr);
    LineTo(c.dc(), 5, 1);
    EXPECT_EQ(c.count(0), 4);
    EXPECT_EQ(c.at(5, 1), 0xFFFFFFu);
    LineTo(c.dc(), 5, 5);
    EXPECT_EQ(c.at(5, 1), 0u);
    EXPECT_EQ(c.at(5, 5), 0xFFFFFFu);
    c.clear(0xFFFFFF);
    POINT diag[] = {{0, 0}, {4, 4}, {8, 0}};
    Polyline(c.dc(), diag, 3);
    EXPECT_EQ(c.count(0), 8);
    EXPECT_EQ(c.at(4, 4), 0u);
    EXPECT_EQ(c.at(8, 0), 0xFFFFFFu);
    POINT cur;
    MoveToEx(c.dc(), 0, 0, &cur);
    EXPECT_EQ(cur.x, 5); // Polyline leaves the current position alone
}

TEST(Gdi, PixelsAndClipping) {
    Canvas c(4, 4);
    EXPECT_EQ(SetPixel(c.dc(), 1, 2, RGB(10, 20, 30)), RGB(10, 20, 30));
    EXPECT_EQ(c.at(1, 2), 0x0A141Eu);
    EXPECT_EQ(GetPixel(c.dc(), 1, 2), RGB(10, 20, 30));
    EXPECT_EQ(GetPixel(c.dc(), 4, 0), CLR_INVALID);
    EXPECT_EQ(SetPixel(c.dc(), -1, 0, 0), CLR_INVALID);
    RECT big{-100, -100, 100, 100};
    FillRect(c.dc(), &big, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(c.count(0), 16);
}

TEST(Gdi, StretchNearestAndMirrored) {
    Canvas src(4, 1), dst(8, 2);
    for (int x = 0; x < 4; ++x)
        src.pixels()[x] = 0x10 * (x + 1);
    SetStretchBltMode(dst.dc(), COLORONCOLOR);
    StretchBlt(dst.dc(), 0, 0, 8, 2, src.dc(), 0, 0, 4, 1, SRCCOPY);
    const uint32_t twice[] = {0x10, 0x10, 0x20, 0x20, 0x30, 0x30, 0x40, 0x40};
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(dst.at(x, 0), twice[x]) << x;
        EXPECT_EQ(dst.at(x, 1), twice[x]) << x;
    }
    dst.clear(0xFFFFFF);
    StretchBlt(dst.dc(), 3, 0, -4, 1, src.dc(), 0, 0, 4, 1, SRCCOPY); // mirror in place
    EXPECT_EQ(dst.at(0, 0), 0x40u);
    EXPECT_EQ(dst.at(3, 0), 0x10u);
    EXPECT_EQ(dst.at(4, 0), 0xFFFFFFu);
    // Shrinking picks every other pixel; a mirrored source flips as well.
    Canvas small(2, 1);
    StretchBlt(small.dc(), 0, 0, 2, 1, src.dc(), 3, 0, -4, 1, SRCCOPY);
    EXPECT_EQ(small.at(0, 0), 0x30u);
    EXPECT_EQ(small.at(1, 0), 0x10u);
}

TEST(Gdi, DibSectionsBottomUpAnd24Bit) {
    BITMAPINFO bi{};
    bi.bmiHeader = BITMAPINFOHEADER{40, 3, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP h = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(h, nullptr);
    BITMAP bm{};
    ASSERT_EQ(GetObject(h, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 3);
    EXPECT_EQ(bm.bmWidthBytes, 12); // rows padded to 4 bytes
    EXPECT_EQ(bm.bmBitsPixel, 24);
    EXPECT_EQ(bm.bmBits, bits);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, h);
    SetPixel(dc, 0, 0, RGB(1, 2, 3)); // top row: the second row in memory
    const auto* b = static_cast<const uint8_t*>(bits);
    EXPECT_EQ(b[12], 3);
    EXPECT_EQ(b[13], 2);
    EXPECT_EQ(b[14], 1);
    // A second DC cannot select a bitmap that is selected elsewhere.
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(other, h), nullptr);
    DeleteDC(other);
    SelectObject(dc, old);
    DeleteDC(dc);
    // Read back as 32-bit top-down rows.
    uint32_t out[6] = {};
    BITMAPINFO want{};
    want.bmiHeader = BITMAPINFOHEADER{40, 3, -2, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    EXPECT_EQ(GetDIBits(nullptr, h, 0, 2, out, &want, DIB_RGB_COLORS), 2);
    EXPECT_EQ(out[0] & 0xFFFFFF, 0x010203u);
    BITMAPINFO query{};
    query.bmiHeader.biSize = 40;
    EXPECT_EQ(GetDIBits(nullptr, h, 0, 0, nullptr, &query, DIB_RGB_COLORS), 2);
    EXPECT_EQ(query.bmiHeader.biWidth, 3);
    DeleteObject(h);
    bi.bmiHeader.biBitCount = 2;
    EXPECT_EQ(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biWidth = 1 << 20;
    EXPECT_EQ(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
}

TEST(Gdi, StretchDIBitsFlipsBottomUpSources) {
    // A 1 x 2 bottom-up DIB: the first row in memory is the bottom row.
    const uint32_t rows[2] = {0x0000FF, 0xFF0000};
    BITMAPINFO bi{};
    bi.bmiHeader = BITMAPINFOHEADER{40, 1, 2, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    Canvas c(1, 2);
    StretchDIBits(c.dc(), 0, 0, 1, 2, 0, 0, 1, 2, rows, &bi, DIB_RGB_COLORS, SRCCOPY);
    EXPECT_EQ(c.at(0, 0), 0xFF0000u);
    EXPECT_EQ(c.at(0, 1), 0x0000FFu);
    StretchDIBits(c.dc(), 0, 1, 1, -2, 0, 0, 1, 2, rows, &bi, DIB_RGB_COLORS, SRCCOPY);
    EXPECT_EQ(c.at(0, 0), 0x0000FFu);
    SetDIBitsToDevice(c.dc(), 0, 0, 1, 2, 0, 0, 0, 2, rows, &bi, DIB_RGB_COLORS);
    EXPECT_EQ(c.at(0, 0), 0xFF0000u);
    bi.bmiHeader.biHeight = INT32_MIN;
    EXPECT_EQ(StretchDIBits(c.dc(), 0, 0, 1, 2, 0, 0, 1, 2, rows, &bi, DIB_RGB_COLORS, SRCCOPY), 0);
}

TEST(Gdi, BitBltWithinOneBitmapAndRops) {
    Canvas c(4, 1);
    for (int x = 0; x < 4; ++x)
        c.pixels()[x] = x + 1;
    BitBlt(c.dc(), 1, 0, 3, 1, c.dc(), 0, 0, SRCCOPY); // overlapping: reads the original pixels
    EXPECT_EQ(c.at(1, 0), 1u);
    EXPECT_EQ(c.at(3, 0), 3u);
    PatBlt(c.dc(), 0, 0, 1, 1, WHITENESS);
    EXPECT_EQ(c.at(0, 0), 0xFFFFFFu);
    BitBlt(c.dc(), 0, 0, 4, 1, nullptr, 0, 0, BLACKNESS);
    EXPECT_EQ(c.count(0), 4);
    EXPECT_FALSE(BitBlt(c.dc(), 0, 0, 1, 1, reinterpret_cast<HDC>(0x1234), 0, 0, SRCCOPY));
}

LOGFONTA logfont(const char* face, int height) {
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = FW_NORMAL;
    lf.lfQuality = ANTIALIASED_QUALITY;
    std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return lf;
}

TEST(GdiText, ArialIsMetricCompatibleAndDrawn) {
    const std::string file = qcore::detail::font_file_for(logfont("Arial", 14), "A");
    EXPECT_NE(file.find("Liberation"), std::string::npos) << file;
    Canvas c(200, 40);
    HFONT f = CreateFontA(14, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY,
                          VARIABLE_PITCH, "Arial");
    HGDIOBJ old = SelectObject(c.dc(), f);
    SIZE sz;
    ASSERT_TRUE(GetTextExtentPoint32A(c.dc(), "Waiting...", 10, &sz));
    EXPECT_EQ(sz.cy, 14); // positive heights are cell heights
    EXPECT_GT(sz.cx, 40);
    EXPECT_LT(sz.cx, 100);
    SIZE two;
    GetTextExtentPoint32A(c.dc(), "Waiting...Waiting...", 20, &two);
    EXPECT_EQ(two.cx, 2 * sz.cx);
    SetBkMode(c.dc(), TRANSPARENT);
    TextOutA(c.dc(), 10, 5, "Waiting...", 10);
    const CRect ink = c.ink();
    EXPECT_GE(ink.left, 10);
    EXPECT_LE(ink.right, 10 + sz.cx + 1);
    EXPECT_GE(ink.top, 5);
    EXPECT_LE(ink.bottom, 5 + 14);
    EXPECT_GT(c.count(0), 20); // solid black in glyph stems
    SelectObject(c.dc(), old);
    DeleteObject(f);
}

TEST(GdiText, ChineseFaceFallsBackToACjkFont) {
    const char* song = "\xE5\xAE\x8B\xE4\xBD\x93"; // 宋体
    const char* text = "\xE7\xAD\x89\xE5\xBE\x85"; // 等待
    const std::string file = qcore::detail::font_file_for(logfont(song, 16), text);
    EXPECT_TRUE(file.find("uming") != std::string::npos || file.find("wqy") != std::string::npos) << file;
    Canvas c(100, 30);
    HFONT f = CreateFontA(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, GB2312_CHARSET, 0, 0, 0, 0, "SimSun");
    HGDIOBJ old = SelectObject(c.dc(), f);
    SIZE sz;
    GetTextExtentPoint32A(c.dc(), text, static_cast<int>(std::strlen(text)), &sz);
    EXPECT_EQ(sz.cx, 32); // two full-width characters of 16 pixels
    SetTextColor(c.dc(), RGB(255, 0, 0));
    SetBkColor(c.dc(), RGB(0, 255, 0));
    SetBkMode(c.dc(), OPAQUE);
    TextOutA(c.dc(), 0, 0, text, static_cast<int>(std::strlen(text)));
    EXPECT_EQ(c.at(0, 0), 0x00FF00u); // the opaque background box
    int red = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 100; ++x)
            red += ((c.at(x, y) >> 16) & 0xFF) > 0x80;
    EXPECT_GT(red, 30);
    EXPECT_LE(c.ink().right, 32);
    SelectObject(c.dc(), old);
    DeleteObject(f);
}

TEST(GdiText, DrawTextCentresAndClips) {
    Canvas c(120, 40);
    HFONT f = CreateFontA(14, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, ANTIALIASED_QUALITY, 0, "Arial");
    HGDIOBJ old = SelectObject(c.dc(), f);
    SetBkMode(c.dc(), TRANSPARENT);
    RECT r{0, 0, 120, 40};
    DrawTextA(c.dc(), "Hi", -1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    const CRect ink = c.ink();
    EXPECT_NEAR((ink.left + ink.right) / 2.0, 60, 3);
    EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 20, 4);
    RECT calc{0, 0, 0, 0};
    EXPECT_EQ(DrawTextA(c.dc(), "a\nbb", -1, &calc, DT_CALCRECT), 28);
    EXPECT_EQ(calc.bottom, 28);
    c.clear(0xFFFFFF);
    RECT tiny{0, 0, 3, 3};
    DrawTextA(c.dc(), "WWW", -1, &tiny, DT_SINGLELINE);
    EXPECT_LE(c.ink().right, 3);
    EXPECT_LE(c.ink().bottom, 3);
    SelectObject(c.dc(), old);
    DeleteObject(f);
}

TEST(GdiText, ColoursModesAndFacesForGlyphBitmaps) {
    Canvas c(120, 40);
    c.clear(0);
    HFONT regular = CreateFontA(20, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, VARIABLE_PITCH, "Arial");
    HFONT bold = CreateFontA(20, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, VARIABLE_PITCH, "Arial");
    HGDIOBJ old = SelectObject(c.dc(), regular);
    SIZE thin{}, wide{};
    ASSERT_TRUE(GetTextExtentPoint32(c.dc(), "Wide", 4, &thin));
    SelectObject(c.dc(), bold);
    ASSERT_TRUE(GetTextExtentPoint32(c.dc(), "Wide", 4, &wide));
    EXPECT_EQ(thin.cy, 20);
    EXPECT_EQ(wide.cy, 20);
    EXPECT_GT(wide.cx, thin.cx);
    EXPECT_FALSE(GetTextExtentPoint32(nullptr, "W", 1, &wide));
    EXPECT_FALSE(GetTextExtentPoint32(c.dc(), "W", 1, nullptr));

    // The previous values come back from the setters.
    EXPECT_EQ(SetTextColor(c.dc(), RGB(255, 255, 255)), RGB(0, 0, 0));
    EXPECT_EQ(SetBkColor(c.dc(), RGB(0, 0, 255)), RGB(255, 255, 255));
    EXPECT_EQ(SetBkMode(c.dc(), TRANSPARENT), OPAQUE);
    ASSERT_TRUE(ExtTextOut(c.dc(), 2, 2, 0, nullptr, "W", 1, nullptr));
    EXPECT_EQ(c.count(0x0000FF), 0); // transparent: no background box
    const int white = c.count(0xFFFFFF);
    EXPECT_GT(white, 10);
    EXPECT_EQ(SetBkMode(c.dc(), OPAQUE), TRANSPARENT);
    ASSERT_TRUE(ExtTextOut(c.dc(), 60, 2, 0, nullptr, "W", 1, nullptr));
    SIZE w{};
    GetTextExtentPoint32(c.dc(), "W", 1, &w);
    EXPECT_EQ(c.at(60, 2), 0x0000FFu); // opaque: the cell is filled
    EXPECT_EQ(c.at(60 + w.cx - 1, 2 + w.cy - 1), 0x0000FFu);
    EXPECT_EQ(c.at(60 + w.cx, 2), 0u);
    EXPECT_EQ(c.count(0xFFFFFF), 2 * white); // the same glyph, coverage for coverage
    // ETO_OPAQUE fills the rectangle with the background colour whatever the mode.
    SetBkMode(c.dc(), TRANSPARENT);
    RECT r{0, 30, 10, 40};
    ExtTextOut(c.dc(), 0, 30, ETO_OPAQUE, &r, "", 0, nullptr);
    EXPECT_EQ(c.at(5, 35), 0x0000FFu);
    EXPECT_FALSE(ExtTextOut(c.dc(), 0, 0, 0, nullptr, nullptr, 3, nullptr));
    SelectObject(c.dc(), old);
    DeleteObject(regular);
    DeleteObject(bold);
}

TEST(GdiText, WordBreakWrapsAtSpacesAndBetweenChineseCharacters) {
    Canvas c(200, 120);
    HFONT f = CreateFontA(14, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, ANTIALIASED_QUALITY, 0, "Arial");
    HGDIOBJ old = SelectObject(c.dc(), f);
    SIZE one{};
    GetTextExtentPoint32A(c.dc(), "word", 4, &one);
    const struct {
        const char* text;
        int width;
        int lines;
    } rows[] = {
        {"word word word", 1000, 1},
        {"word word word", one.cx + 2, 3},
        {"word word\nword", one.cx * 3, 2},
        {"averyveryverylongword", 10, 1},
        {"ATX动画贴图", 1000, 1},
        {"ATX动画贴图", 40, 0}, // several lines, as many as the font's widths give
    };
    for (const auto& row : rows) {
        RECT r{0, 0, row.width, 0};
        const int height = DrawTextA(c.dc(), row.text, -1, &r, DT_CALCRECT | DT_WORDBREAK);
        if (row.lines)
            EXPECT_EQ(height, 14 * row.lines) << row.text << " in " << row.width;
        else
            EXPECT_GE(height, 28) << row.text;
    }
    // Drawn text wraps the same way and stays inside the rectangle's width.
    RECT r{0, 0, one.cx + 2, 120};
    SetBkMode(c.dc(), TRANSPARENT);
    DrawTextA(c.dc(), "word word word", -1, &r, DT_WORDBREAK);
    EXPECT_LE(c.ink().right, one.cx + 2);
    EXPECT_GT(c.ink().bottom, 28);
    SelectObject(c.dc(), old);
    DeleteObject(f);
}

// Sections of 1, 4, 8 and 16 bits read and write through their colour table (or 5 bits a channel).
TEST(Gdi, DibSectionsOfFewBitsKeepTheirLayout) {
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    for (int i = 0; i < 256; ++i)
        info.colours[i] = RGBQUAD{BYTE(255 - i), BYTE(i), BYTE(i / 2), 0};
    for (WORD bits : {WORD(1), WORD(4), WORD(8), WORD(16)}) {
        info.header = BITMAPINFOHEADER{40, 10, -2, 1, bits, BI_RGB, 0, 0, 0, 0, 0};
        void* pixels = nullptr;
        HBITMAP b = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels,
                                     nullptr, 0);
        ASSERT_NE(b, nullptr) << bits;
        DIBSECTION ds{};
        ASSERT_EQ(GetObject(b, sizeof(ds), &ds), static_cast<int>(sizeof(ds)));
        EXPECT_EQ(ds.dsBm.bmWidthBytes, (10 * bits + 31) / 32 * 4) << bits;
        EXPECT_EQ(ds.dsBmih.biClrUsed, bits == 16 ? 0u : 1u << bits) << bits;
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, b);
        // Palette entry 1 is (r 1, g 1, b 254).
        const COLORREF entry1 = RGB(1 / 2, 1, 254);
        SetPixel(dc, 3, 1, bits == 16 ? RGB(248, 8, 120) : entry1);
        EXPECT_EQ(GetPixel(dc, 3, 1), bits == 16 ? RGB(255, 8, 123) : entry1) << bits;
        EXPECT_EQ(GetPixel(dc, 2, 1), bits == 16 ? RGB(0, 0, 0) : RGB(0, 0, 255)) << bits;
        const auto* row = static_cast<const uint8_t*>(pixels) + ds.dsBm.bmWidthBytes;
        const int stored = bits == 1   ? row[0]
                           : bits == 4 ? row[1]
                           : bits == 8 ? row[3]
                                       : row[6] | row[7] << 8;
        EXPECT_EQ(stored, bits == 1 ? 0x10 : bits == 4 ? 0x01 : bits == 8 ? 1 : (31 << 10) | (1 << 5) | 15);
        SelectObject(dc, old);
        DeleteDC(dc);
        // GetDIBits turns the section into 32-bit pixels.
        BITMAPINFO out{};
        out.bmiHeader = BITMAPINFOHEADER{40, 10, -2, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        uint32_t got[20] = {};
        ASSERT_EQ(GetDIBits(nullptr, b, 0, 2, got, &out, DIB_RGB_COLORS), 2);
        EXPECT_EQ(got[13] & 0xFFFFFF, bits == 16 ? 0xFF087Bu : 0x0001FEu) << bits;
        DeleteObject(b);
    }
}

TEST(Gdi, HalftoneAveragesWhatItShrinksAndBlendsWhatItEnlarges) {
    Canvas src(4, 2), dst(8, 4);
    for (int x = 0; x < 4; ++x) {
        src.pixels()[x] = x % 2 ? 0xFFFFFF : 0x000000;
        src.pixels()[4 + x] = 0x0000FF;
    }
    SetStretchBltMode(dst.dc(), HALFTONE);
    // 4 x 2 onto 2 x 1: each pixel is the mean of a 2 x 2 block.
    StretchBlt(dst.dc(), 0, 0, 2, 1, src.dc(), 0, 0, 4, 2, SRCCOPY);
    EXPECT_EQ(dst.at(0, 0), 0x4040BFu);
    EXPECT_EQ(dst.at(1, 0), 0x4040BFu);
    // Enlarged, a row between black and blue blends them; the outer rows keep the edge colours.
    dst.clear(0xFFFFFF);
    StretchBlt(dst.dc(), 0, 0, 1, 4, src.dc(), 0, 0, 1, 2, SRCCOPY);
    EXPECT_EQ(dst.at(0, 0), 0x000000u);
    EXPECT_EQ(dst.at(0, 1), 0x000040u);
    EXPECT_EQ(dst.at(0, 2), 0x0000BFu);
    EXPECT_EQ(dst.at(0, 3), 0x0000FFu);
    // Other modes keep the nearest pixel.
    SetStretchBltMode(dst.dc(), COLORONCOLOR);
    StretchBlt(dst.dc(), 0, 0, 2, 1, src.dc(), 0, 0, 4, 2, SRCCOPY);
    EXPECT_TRUE(dst.at(0, 0) == 0x000000u || dst.at(0, 0) == 0xFFFFFFu || dst.at(0, 0) == 0x0000FFu);
    // Mirrored halftone copies mirror too.
    SetStretchBltMode(dst.dc(), HALFTONE);
    StretchBlt(dst.dc(), 3, 0, -4, 1, src.dc(), 0, 0, 4, 1, SRCCOPY);
    EXPECT_EQ(dst.at(0, 0), 0xFFFFFFu);
    EXPECT_EQ(dst.at(3, 0), 0x000000u);
}

} // namespace
