// 10,000 characters per frame drawn with the bitmap font on the software device (a 1024x768 back buffer),
// side by side with FreeType rendering the same characters straight into an 8-bit bitmap, the floor.
// Both report characters per second; the glyph texture is built before timing starts.
#include <qcore/core/d3d_font.h>
#include <qcore/core/device.h>
#include <qcore/platform/win32/afxwin.h>
#include <qcore/platform/win32/font.h>

#include "ratio_reporter.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1024, kHeight = 768, kFontHeight = 14;
constexpr int kLines = 50, kPerLine = 200; // 10,000 characters

// Fifty lines of printable text, each line 200 characters long.
std::string sample_text() {
    const std::string words =
        "The quick brown fox jumps over the lazy dog; 0123456789 (Sphinx of black quartz) ";
    std::string text;
    for (int line = 0; line < kLines; ++line) {
        for (int i = 0; i < kPerLine; ++i)
            text.push_back(words[static_cast<size_t>(line * 7 + i) % words.size()]);
        text.push_back('\n');
    }
    return text;
}

int64_t printable(const std::string& s) {
    int64_t n = 0;
    for (char c : s)
        n += c != '\n';
    return n;
}

void BM_BitmapFontRenderText(benchmark::State& state) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "qcore_font_bench";
    RegisterClassA(&wc);
    CWnd wnd;
    wnd.CreateEx(0, "qcore_font_bench", "", WS_POPUP, 0, 0, kWidth, kHeight, nullptr, nullptr);
    gCore core;
    CDevice device(&core);
    core.dev = &device;
    if (!device.create_windowed_device(&wnd, D3DFMT_D16, kWidth, kHeight)) {
        state.SkipWithError("no device");
        return;
    }
    CD3dFont font(&core);
    if (!font.Init(device.get_dev(), "Arial", kFontHeight, 0)) {
        state.SkipWithError("no font");
        return;
    }
    const std::string text = sample_text();
    IDirect3DDevice8* dev = device.get_dev();
    for (auto _ : state) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        dev->BeginScene();
        font.RenderText(0, 0, 0xFFFFFFFF, text.c_str(), 0);
        dev->EndScene();
    }
    state.SetItemsProcessed(state.iterations() * printable(text));
    core.dev = nullptr;
    wnd.DestroyWindow();
}
BENCHMARK(BM_BitmapFontRenderText)->Unit(benchmark::kMillisecond);

void BM_FreeTypeFloor(benchmark::State& state) {
    LOGFONTA lf{};
    lf.lfHeight = kFontHeight;
    std::strcpy(lf.lfFaceName, "Arial");
    const std::string file = qcore::detail::font_file_for(lf, "A");
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&lib) || FT_New_Face(lib, file.c_str(), 0, &face)) {
        state.SkipWithError("no FreeType face");
        return;
    }
    FT_Set_Pixel_Sizes(face, 0, kFontHeight * 7 / 8); // about the em of a 14-pixel cell
    const std::string text = sample_text();
    std::vector<uint8_t> bitmap(static_cast<size_t>(kWidth) * kHeight);
    const int ascent = static_cast<int>(face->size->metrics.ascender >> 6);
    for (auto _ : state) {
        std::fill(bitmap.begin(), bitmap.end(), 0);
        int pen_x = 0, pen_y = 0;
        for (char c : text) {
            if (c == '\n') {
                pen_x = 0;
                pen_y += kFontHeight;
                continue;
            }
            if (FT_Load_Char(face, static_cast<unsigned char>(c), FT_LOAD_RENDER)) continue;
            const FT_GlyphSlot g = face->glyph;
            const int x0 = pen_x + g->bitmap_left, y0 = pen_y + ascent - g->bitmap_top;
            for (int y = 0; y < static_cast<int>(g->bitmap.rows); ++y) {
                const int py = y0 + y;
                if (py < 0 || py >= kHeight) continue;
                const uint8_t* src = g->bitmap.buffer + static_cast<ptrdiff_t>(y) * g->bitmap.pitch;
                for (int x = 0; x < static_cast<int>(g->bitmap.width); ++x) {
                    const int px = x0 + x;
                    if (px >= 0 && px < kWidth && src[x])
                        bitmap[static_cast<size_t>(py) * kWidth + static_cast<size_t>(px)] = src[x];
                }
            }
            pen_x += static_cast<int>(g->advance.x >> 6);
        }
        benchmark::DoNotOptimize(bitmap.data());
    }
    state.SetItemsProcessed(state.iterations() * printable(text));
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
}
BENCHMARK(BM_FreeTypeFloor)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return qcore::bench::run_with_ratio(argc, argv, "BM_BitmapFontRenderText", "BM_FreeTypeFloor");
}
