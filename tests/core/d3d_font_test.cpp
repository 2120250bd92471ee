#include <qcore/core/d3d_font.h>
#include <qcore/platform/d3d8/device_hooks.h>
#include <qcore/platform/win32/gdi.h>
#include <qcore/platform/win32/input.h>

#include "core/draw_fixture.h"

#include <string>

namespace {

using qcore::DeviceCall;

const char* const kChinese = "\xE4\xB8\xAD\xE6\x96\x87"; // 中文

class FontTest : public qcore::test::DrawFixture {
protected:
    // Alpha (0 to 15) of a texel of the glyph texture.
    int texel_alpha(CD3dFont& f, int x, int y) {
        D3DLOCKED_RECT lr{};
        if (FAILED(f.get_texture()->LockRect(0, &lr, nullptr, D3DLOCK_READONLY))) return -1;
        const WORD t = reinterpret_cast<const WORD*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch)[x];
        f.get_texture()->UnlockRect(0);
        return t >> 12;
    }
    void expect_same_states(const RSTATE& rs_before, const TSSTATE& tss_before) {
        for (int s = 0; s < 174; ++s)
            EXPECT_EQ(rs->get_rs(s), rs_before.v[s]) << "render state " << s;
        for (int stage = 0; stage < 4; ++stage)
            for (int s = 0; s < 29; ++s)
                EXPECT_EQ(rs->get_tss(stage, s), tss_before.v[stage][s])
                    << "stage " << stage << " state " << s;
        EXPECT_EQ(rs->rs_depth, 0);
        EXPECT_EQ(rs->tss_depth, 0);
    }
};

TEST_F(FontTest, TextureSizeFollowsTheHeight) {
    const std::pair<int, int> cases[] = {{12, 256}, {20, 256}, {21, 512}, {40, 512}, {41, 1024}};
    for (auto [height, size] : cases) {
        CD3dFont f(&core);
        ASSERT_TRUE(f.Init(dev, "Arial", height, 0)) << height;
        EXPECT_EQ(f.get_tex_width(), size) << height;
        EXPECT_EQ(f.get_tex_height(), size) << height;
        EXPECT_EQ(f.get_tex_scale(), 1.0f);
        D3DSURFACE_DESC desc{};
        f.get_texture()->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Format, D3DFMT_A4R4G4B4);
        EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
        EXPECT_EQ(f.get_texture()->GetLevelCount(), 1u);
        D3DVERTEXBUFFER_DESC vb{};
        f.get_vertex_buffer()->GetDesc(&vb);
        EXPECT_EQ(vb.Size, 8400u);
        EXPECT_EQ(vb.Pool, D3DPOOL_DEFAULT);
        EXPECT_EQ(vb.Usage, static_cast<DWORD>(D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC));
    }
    CD3dFont none(&core);
    EXPECT_FALSE(none.Init(nullptr, "Arial", 12, 0));
    EXPECT_FALSE(none.Init(dev, "Arial", 0, 0));
}

TEST_F(FontTest, GlyphCoverageMatchesTheGdiDrawing) {
    CD3dFont f(&core);
    ASSERT_TRUE(f.Init(dev, "Arial", 18, CD3dFont::BOLD));
    // The same character drawn by the GDI into a bitmap of its own.
    HFONT font = CreateFontA(18, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY,
                             VARIABLE_PITCH, "Arial");
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bi{};
    bi.bmiHeader = BITMAPINFOHEADER{40, 40, -40, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old_bmp = SelectObject(dc, bmp), old_font = SelectObject(dc, font);
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkColor(dc, 0);
    SIZE size{};
    GetTextExtentPoint32(dc, "g", 1, &size);
    ExtTextOut(dc, 0, 0, ETO_OPAQUE, nullptr, "g", 1, nullptr);
    const float* uv = f.get_glyph('g');
    ASSERT_NE(uv, nullptr);
    const int gx = static_cast<int>(uv[0] * 256 + 0.5f), gy = static_cast<int>(uv[1] * 256 + 0.5f);
    EXPECT_EQ(static_cast<int>((uv[2] - uv[0]) * 256 + 0.5f), size.cx);
    EXPECT_EQ(static_cast<int>((uv[3] - uv[1]) * 256 + 0.5f), size.cy);
    int covered = 0;
    for (int y = 0; y < size.cy; ++y)
        for (int x = 0; x < size.cx; ++x) {
            const int gdi = (static_cast<const uint32_t*>(bits)[y * 40 + x] & 0xFF) >> 4;
            EXPECT_EQ(texel_alpha(f, gx + x, gy + y), gdi) << x << "," << y;
            covered += gdi > 8;
        }
    EXPECT_GT(covered, 10);
    SelectObject(dc, old_font);
    SelectObject(dc, old_bmp);
    DeleteObject(bmp);
    DeleteObject(font);
    DeleteDC(dc);
}

TEST_F(FontTest, ExtentsCountLinesAndSkipWhatHasNoGlyph) {
    CD3dFont f(&core);
    EXPECT_EQ(f.GetTextExtent("abc"), CSize(0, 0)); // no texture yet
    ASSERT_TRUE(f.Init(dev, "Arial", 16, 0));
    const CSize a = f.GetTextExtent("ab"), b = f.GetTextExtent("cdefg");
    EXPECT_EQ(a.cy, 16);
    EXPECT_GT(b.cx, a.cx);
    EXPECT_EQ(f.GetTextExtent("ab\ncdefg"), CSize(b.cx, 32));
    EXPECT_EQ(f.GetTextExtent("cdefg\nab\n"), CSize(b.cx, 48));
    EXPECT_EQ(f.GetTextExtent("a\tb\x01"), a);
    EXPECT_EQ(f.GetTextExtent("a\x7F"
                              "b"),
              a); // DEL has no glyph
    EXPECT_EQ(f.GetTextExtent(""), CSize(0, 0));
    EXPECT_EQ(f.GetTextExtent(nullptr), CSize(0, 0));
    // Bytes of 128 and above: UTF-8 characters get glyphs of their own, stray bytes show as '?'.
    const CSize zh = f.GetTextExtent(kChinese);
    EXPECT_EQ(zh.cy, 16);
    EXPECT_GT(zh.cx, 20); // two full-width characters
    EXPECT_LE(zh.cx, 34);
    EXPECT_EQ(f.GetTextExtent("\xFF"), f.GetTextExtent("?"));
    EXPECT_EQ(f.GetTextExtent("\xE4\xB8"), f.GetTextExtent("??"));
}

TEST_F(FontTest, RenderTextDrawsInsideItsExtentAndPutsStatesBack) {
    CD3dFont f(&core);
    ASSERT_TRUE(f.Init(dev, "Arial", 14, 0));
    RSTATE rs_before;
    TSSTATE tss_before;
    rs->capture_rs(&rs_before);
    rs->capture_tss(&tss_before);
    ASSERT_EQ(f.RenderText(4, 6, 0xFFFFFFFF, "Hello\nWorld", 0), 1);
    expect_same_states(rs_before, tss_before);
    auto img = frame();
    const CSize ext = f.GetTextExtent("Hello\nWorld");
    const CRect box = ink(img);
    EXPECT_GE(box.left, 4);
    EXPECT_GE(box.top, 6);
    EXPECT_LE(box.right, 4 + ext.cx);
    EXPECT_LE(box.bottom, 6 + ext.cy);
    EXPECT_GT(box.bottom, 6 + ext.cy / 2); // the second line is drawn below the first
    EXPECT_GT(count(img, 0xFFFFFF), 20);

    clear();
    ASSERT_EQ(f.RenderText(32, 32, 0xFFFF0000, "H", CD3dFont::CENTERED | CD3dFont::FILTERED), 1);
    img = frame();
    const CRect centred = ink(img);
    EXPECT_NEAR(centred.CenterPoint().x, 32, 2);
    EXPECT_NEAR(centred.CenterPoint().y, 32, 3);
    for (uint32_t p : img)
        EXPECT_EQ(p & 0x00FFFF, 0u); // red text only
    expect_same_states(rs_before, tss_before);
}

TEST_F(FontTest, TextIsDrawnInBatchesOfFiftyQuads) {
    CD3dFont f(&core);
    ASSERT_TRUE(f.Init(dev, "Arial", 8, 0));
    qcore::reset_device_call_counts(dev);
    const std::string text(120, 'x');
    f.RenderText(0, 0, 0xFFFFFFFF, (text + "   \n").c_str(), 0); // spaces only advance
    EXPECT_EQ(qcore::device_call_count(dev, DeviceCall::DrawPrimitive), 3u);
    qcore::reset_device_call_counts(dev);
    f.RenderText(0, 0, 0xFFFFFFFF, std::string(100, 'x').c_str(), 0);
    EXPECT_EQ(qcore::device_call_count(dev, DeviceCall::DrawPrimitive), 2u);
}

TEST_F(FontTest, VertexBufferIsRebuiltAfterAReset) {
    CD3dFont never(&core); // its Init never runs: the walks must leave it alone
    CD3dFont f(&core);
    ASSERT_TRUE(f.Init(dev, "Arial", 16, 0));
    IDirect3DTexture8* texture = f.get_texture();
    dev->EndScene();
    qcore::set_desktop_mode(64, 64, D3DFMT_X8R8G8B8);
    ASSERT_EQ(device.reset_device(), 1);
    EXPECT_EQ(never.get_vertex_buffer(), nullptr);
    ASSERT_NE(f.get_vertex_buffer(), nullptr);
    EXPECT_EQ(f.get_texture(), texture); // managed: kept across the reset
    D3DXMATRIX proj;
    D3DXMatrixOrthoOffCenterLH(&proj, 0, kSize, kSize, 0, 0, 1);
    dev->SetTransform(D3DTS_PROJECTION, &proj);
    clear();
    dev->BeginScene();
    ASSERT_EQ(f.RenderText(2, 2, 0xFFFFFFFF, "Reset", 0), 1);
    EXPECT_GT(count(frame(), 0xFFFFFF), 10);
}

TEST_F(FontTest, ChineseTextAndThreeDimensionalText) {
    CD3dFont f(&core);
    ASSERT_TRUE(f.Init(dev, "SimSun", 16, 0));
    ASSERT_EQ(f.RenderText(2, 2, 0xFFFFFFFF, kChinese, 0), 1);
    auto img = frame();
    const CRect box = ink(img);
    EXPECT_GT(64 * 64 - count(img, 0), 40);
    EXPECT_GE(box.left, 2);
    EXPECT_LE(box.right, 2 + 33);
    const float* first = f.get_glyph(U'\u4E2D');
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, f.get_glyph(U'\u4E2D')); // added once, then found

    // One unit per line: a scaled world matrix makes a line 20 pixels high, centred at (32, 32).
    clear();
    MAT world;
    D3DXMatrixScaling(&world, 20, -20, 1); // y up in the text, y down in this projection
    world._41 = 32;
    world._42 = 32;
    world._43 = 0.5f;
    dev->SetTransform(D3DTS_WORLD, &world);
    ASSERT_EQ(f.Render3DText("HI", CD3dFont::CENTERED | CD3dFont::TWOSIDED), 1);
    img = frame();
    const CRect big = ink(img);
    EXPECT_NEAR(big.CenterPoint().x, 32, 3);
    EXPECT_NEAR(big.CenterPoint().y, 32, 3);
    EXPECT_GT(big.Height(), 10);

    clear();
    ASSERT_EQ(f.RenderTextScaled(10, 10, 0.5f, 2.0f, 2.0f, 0xFFFFFFFF, "I", 0), 1);
    EXPECT_GT(ink(frame()).Height(), 16);
}

} // namespace
