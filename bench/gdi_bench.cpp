// GDI stand-in: stretching a full-HD frame into a preview and drawing a line of text.
#include <qcore/platform/win32/gdi.h>

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

struct MemoryBitmap {
    MemoryBitmap(int w, int h) {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, w, h);
        old = SelectObject(dc, bitmap);
    }
    ~MemoryBitmap() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
};

void BM_StretchBlt1080pTo800x600(benchmark::State& state) {
    MemoryBitmap src(1920, 1080), dst(800, 600);
    for (int y = 0; y < 1080; y += 8)
        for (int x = 0; x < 1920; x += 8)
            SetPixel(src.dc, x, y, RGB(x & 255, y & 255, 128));
    SetStretchBltMode(dst.dc, COLORONCOLOR);
    for (auto _ : state) {
        StretchBlt(dst.dc, 0, 0, 800, 600, src.dc, 0, 0, 1920, 1080, SRCCOPY);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 800 * 600);
}
BENCHMARK(BM_StretchBlt1080pTo800x600)->Unit(benchmark::kMillisecond);

void BM_TextLine(benchmark::State& state) {
    MemoryBitmap dst(800, 40);
    HFONT font = CreateFontA(14, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY,
                             VARIABLE_PITCH, "Arial");
    HGDIOBJ old = SelectObject(dst.dc, font);
    SetBkMode(dst.dc, TRANSPARENT);
    const char* text = "The quick brown fox jumps over the lazy dog 0123456789";
    RECT r{0, 0, 800, 40};
    for (auto _ : state)
        DrawTextA(dst.dc, text, -1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(std::strlen(text)));
    SelectObject(dst.dc, old);
    DeleteObject(font);
}
BENCHMARK(BM_TextLine)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
