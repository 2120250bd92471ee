// DIB headers and text bytes from files reach the GDI stand-in: blits of arbitrary DIB descriptions and text
// of arbitrary bytes must not crash or read outside the buffers.
#include <qcore/platform/win32/gdi.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Canvas {
    Canvas() {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, 64, 48);
        SelectObject(dc, bitmap);
        font = CreateFontA(14, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY, 0,
                           "Arial");
        SelectObject(dc, font);
    }
    HDC dc;
    HBITMAP bitmap;
    HFONT font;
};

// The bytes a DIB of this header needs, or 0 when the header is one the blits refuse anyway.
size_t dib_bytes(const BITMAPINFOHEADER& h) {
    if (h.biWidth <= 0 || h.biWidth > 4096 || h.biHeight == 0 || h.biHeight < -4096 || h.biHeight > 4096)
        return 0;
    const size_t stride = ((static_cast<size_t>(h.biWidth) * h.biBitCount + 31) / 32) * 4;
    return stride * static_cast<size_t>(std::abs(h.biHeight));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Canvas canvas;
    if (size < sizeof(BITMAPINFO) + 16) return 0;
    // A BITMAPINFO is followed by as many colours as its header asks for (up to 256): the callee reads
    // them, so the description gets room for all, the first from the input and the rest black.
    struct {
        BITMAPINFO info;
        RGBQUAD more[255];
    } described{};
    std::memcpy(&described.info, data, sizeof described.info);
    BITMAPINFO& info = described.info;
    int32_t geometry[4];
    std::memcpy(geometry, data + sizeof info, sizeof geometry);
    const uint8_t* rest = data + sizeof info + sizeof geometry;
    const size_t rest_size = size - sizeof info - sizeof geometry;
    const size_t needed = dib_bytes(info.bmiHeader);
    if (needed && needed <= rest_size) {
        const int dx = geometry[0] % 200, dy = geometry[1] % 200, dw = geometry[2] % 300,
                  dh = geometry[3] % 300;
        StretchDIBits(canvas.dc, dx, dy, dw, dh, dy, dx, info.bmiHeader.biWidth, info.bmiHeader.biHeight,
                      rest, &info, DIB_RGB_COLORS, SRCCOPY);
        SetDIBitsToDevice(canvas.dc, dx, dy, static_cast<DWORD>(std::abs(dw)),
                          static_cast<DWORD>(std::abs(dh)), dx % 8, dy % 8, 0,
                          static_cast<UINT>(std::abs(info.bmiHeader.biHeight)), rest, &info, DIB_RGB_COLORS);
    }
    void* bits = nullptr;
    if (HBITMAP section = CreateDIBSection(canvas.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0)) {
        std::vector<uint32_t> out(64 * 48);
        BITMAPINFO want{};
        want.bmiHeader = BITMAPINFOHEADER{40, 64, -48, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        GetDIBits(canvas.dc, section, 0, 48, out.data(), &want, DIB_RGB_COLORS);
        DeleteObject(section);
    }
    RECT r{geometry[0] % 64, geometry[1] % 48, geometry[2] % 128, geometry[3] % 96};
    const auto text = reinterpret_cast<const char*>(rest);
    const int length = static_cast<int>(rest_size < 256 ? rest_size : 256);
    DrawTextA(canvas.dc, text, length, &r, static_cast<UINT>(geometry[0]) & 0xFFF);
    TextOutA(canvas.dc, geometry[1] % 64, geometry[2] % 48, text, length);
    SIZE extent;
    GetTextExtentPoint32A(canvas.dc, text, length, &extent);
    return 0;
}
