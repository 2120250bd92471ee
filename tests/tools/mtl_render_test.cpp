#include <qcore/core/rs_man.h>
#include <qcore/platform/win32/com_ref.h>

#include "mtl_render.h"
#include "texture/tex_fixture.h"

#include <gtest/gtest.h>

namespace {

using qcore::ComRef;
using qcore::test::TexFixture;

struct Vertex {
    float x, y, z, rhw;
    DWORD colour;
    float u, v;
};

constexpr DWORD background = 0xff0000ffu;

class MtlRender : public TexFixture {
protected:
    // A texture whose left half is `left` and right half `right`, point filtered.
    CMyComPtr<ITexture> halves(DWORD left, DWORD right, TEX_TYPE type) {
        qcore::detail::ArgbImage img;
        img.width = img.height = 16;
        for (uint32_t y = 0; y < 16; ++y)
            for (uint32_t x = 0; x < 16; ++x)
                img.pixels.push_back(x < 8 ? left : right);
        const std::vector<uint8_t> png = qcore::detail::encode_png(img, false);
        const std::string path = dir.file("halves.png");
        qcore::test::write_file_bytes(path, std::string(png.begin(), png.end()));
        CTexFileCreateOpt opt;
        opt.tex_type = type;
        CMyComPtr<ITexture> t = texture(path, 1, opt);
        t->set_filter_type(TEX_FILTER_POINT);
        return t;
    }

    // Draws a quad over the whole 64 x 64 target with the material and reads back pixels (16, 32) and (48,
    // 32).
    std::pair<DWORD, DWORD> draw(const IMaterial* m) {
        IDirect3DDevice8* dev = device->get_dev();
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, background, 1.0f, 0);
        dev->BeginScene();
        CMtlRenderer r(&core);
        EXPECT_GE(r.begin(m, nullptr), 0);
        dev->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        const Vertex quad[4] = {{0, 0, 0.5f, 1, 0xffffffffu, 0, 0},
                                {64, 0, 0.5f, 1, 0xffffffffu, 1, 0},
                                {0, 64, 0.5f, 1, 0xffffffffu, 0, 1},
                                {64, 64, 0.5f, 1, 0xffffffffu, 1, 1}};
        EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
        r.end();
        dev->EndScene();
        ComRef<IDirect3DSurface8> back, image;
        dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.out());
        dev->CreateImageSurface(64, 64, D3DFMT_X8R8G8B8, image.out());
        dev->CopyRects(back.get(), nullptr, 0, image.get(), nullptr);
        D3DLOCKED_RECT lr{};
        image->LockRect(&lr, nullptr, D3DLOCK_READONLY);
        const auto* row = reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(lr.pBits) + 32 * lr.Pitch);
        const std::pair<DWORD, DWORD> px{row[16] & 0xffffffu, row[48] & 0xffffffu};
        image->UnlockRect();
        return px;
    }

    CMyComPtr<IMaterial> material(int transp, TRANSP_TYPE type) {
        CMyComPtr<IMaterial> m = IMaterial::create_empty(&core);
        m->set_use_light(0);
        m->set_two_sided(1);
        m->enable_transp(transp);
        m->set_transp_type(type);
        m->set_src_blend(D3DBLEND_SRCALPHA);
        m->set_dst_blend(D3DBLEND_INVSRCALPHA);
        return m;
    }
};

int channel(DWORD c, int shift) {
    return static_cast<int>(c >> shift & 0xff);
}

TEST_F(MtlRender, OpaqueMaterialShowsItsTexture) {
    CMyComPtr<IMaterial> m = material(0, TRANSP_TYPE_1);
    m->set_dif_texture(halves(0x00ff0000u, 0xff00ff00u, TEX_TYPE_NORMAL));
    const auto [left, right] = draw(m);
    EXPECT_EQ(left, 0xff0000u); // alpha ignored
    EXPECT_EQ(right, 0x00ff00u);
    // The states are back as they were.
    EXPECT_EQ(device->get_rs_man()->get_rs(D3DRS_CULLMODE), static_cast<DWORD>(D3DCULL_CCW));
    EXPECT_EQ(device->get_rs_man()->get_rs(D3DRS_LIGHTING), static_cast<DWORD>(TRUE));
}

TEST_F(MtlRender, TextureAlphaIsTestedAgainstTheReference) {
    CMyComPtr<IMaterial> m = material(1, TRANSP_TYPE_TEXTURE_ALPHA);
    m->set_alpha_ref(16);
    m->set_dif_texture(halves(0x08ff0000u, 0xff00ff00u, m->get_tex_prop_type(WHICH_TEX_DIFFUSE)));
    EXPECT_EQ(m->get_dif_texture()->get_tex_file()->get_create_opt().tex_type, TEX_TYPE_ALPHA);
    const auto [left, right] = draw(m);
    EXPECT_EQ(left, background & 0xffffffu); // alpha 8 is below the reference: dropped
    EXPECT_EQ(right, 0x00ff00u);
    EXPECT_EQ(device->get_rs_man()->get_rs(D3DRS_ALPHATESTENABLE), static_cast<DWORD>(FALSE));
}

TEST_F(MtlRender, TextureAlphaIsBlendedWithTheMaterialsFactors) {
    CMyComPtr<IMaterial> m = material(1, TRANSP_TYPE_3);
    m->set_dif_texture(halves(0x80ff0000u, 0x00ff0000u, TEX_TYPE_ALPHA));
    const auto [left, right] = draw(m);
    EXPECT_NEAR(channel(left, 16), 0x80, 2);
    EXPECT_NEAR(channel(left, 0), 0x7f, 2);
    EXPECT_EQ(right, background & 0xffffffu);
    EXPECT_EQ(device->get_rs_man()->get_rs(D3DRS_ALPHABLENDENABLE), static_cast<DWORD>(FALSE));
}

TEST_F(MtlRender, ConstantTransparencyUsesTheFactor) {
    CMyComPtr<IMaterial> m = material(1, TRANSP_TYPE_1);
    m->set_transparent_factor(64);
    m->set_dif_texture(halves(0xffff0000u, 0xffff0000u, TEX_TYPE_NORMAL));
    const auto [left, right] = draw(m);
    EXPECT_NEAR(channel(left, 16), 64, 2);
    EXPECT_NEAR(channel(left, 0), 191, 2);
    EXPECT_EQ(left, right);
}

TEST_F(MtlRender, ConstantTransparencyWithoutATextureBlendsTheVertexColour) {
    CMyComPtr<IMaterial> m = material(1, TRANSP_TYPE_1);
    m->set_transparent_factor(64);
    const auto [left, right] = draw(m);
    EXPECT_NEAR(channel(left, 16), 64, 2); // white at a quarter over blue
    EXPECT_NEAR(channel(left, 0), 255, 2);
    EXPECT_EQ(left, right);
}

TEST_F(MtlRender, WithoutTexturesTheVertexColourShowsAndOrderPutsTransparentLast) {
    CMyComPtr<IMaterial> opaque = material(0, TRANSP_TYPE_1);
    const auto [left, right] = draw(opaque);
    EXPECT_EQ(left, 0xffffffu);
    CMyComPtr<IMaterial> glass = material(1, TRANSP_TYPE_1), water = material(1, TRANSP_TYPE_1);
    water->set_transp_priority(5);
    EXPECT_TRUE(CMtlRenderer::draw_before(opaque, glass));
    EXPECT_FALSE(CMtlRenderer::draw_before(glass, opaque));
    EXPECT_TRUE(CMtlRenderer::draw_before(glass, water));
    EXPECT_FALSE(CMtlRenderer::draw_before(opaque, opaque));
    CMtlRenderer r(&core);
    EXPECT_EQ(r.begin(nullptr, nullptr), -1);
}

} // namespace
