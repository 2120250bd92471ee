#include "mtl_render.h"

#include <qcore/core/device.h>
#include <qcore/core/rs_man.h>

#include <algorithm>

namespace {

CRsMan* rs_of(gCore* core) {
    return core && core->dev ? core->dev->get_rs_man() : nullptr;
}

IDirect3DDevice8* dev_of(gCore* core) {
    return core && core->dev ? core->dev->get_dev() : nullptr;
}

DWORD factor_colour(int alpha) {
    return static_cast<DWORD>(std::clamp(alpha, 0, 255)) << 24 | 0x00ffffffu;
}

} // namespace

bool CMtlRenderer::draw_before(const IMaterial* a, const IMaterial* b) {
    const bool ta = is_transparent(a), tb = is_transparent(b);
    if (ta != tb) return !ta;
    return ta && a->get_transp_priority() < b->get_transp_priority();
}

int CMtlRenderer::bind_stage(int stage, ITexture* texture, const CTimer* timer, DWORD op, DWORD arg2,
                             DWORD tci_flags) {
    if (stage >= 4 || !texture || !texture->can_render(0)) return stage;
    IDirect3DTexture8* tex = texture->get_current_d3tex(timer);
    if (!tex) return stage;
    CRsMan* rs = rs_of(core_);
    dev_of(core_)->SetTexture(static_cast<DWORD>(stage), tex);
    rs->tss_color(stage, op, D3DTA_TEXTURE, arg2);
    rs->tss_alpha(stage, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_CURRENT);
    rs->mipmap(stage, texture->get_filter_type());
    const int coord = std::max(texture->get_tex_coord_inex_in_render(), 0);
    rs->set_tss(stage, D3DTSS_TEXCOORDINDEX, static_cast<DWORD>(coord) | tci_flags);
    stages_used_ = stage + 1;
    return stage + 1;
}

void CMtlRenderer::apply_transparency(const IMaterial* m) {
    CRsMan* rs = rs_of(core_);
    if (!m->is_enable_transp()) {
        rs->set_rs(D3DRS_ALPHABLENDENABLE, FALSE);
        rs->set_rs(D3DRS_ALPHATESTENABLE, FALSE);
        rs->set_rs(D3DRS_ZWRITEENABLE, TRUE);
        return;
    }
    const TRANSP_TYPE type = m->get_transp_type();
    rs->set_rs(D3DRS_ALPHABLENDENABLE, TRUE);
    rs->set_rs(D3DRS_ZWRITEENABLE, m->is_zwrite() ? TRUE : FALSE);
    if (type == TRANSP_TYPE_TEXTURE_ALPHA) {
        rs->set_rs(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        rs->set_rs(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        rs->set_rs(D3DRS_ALPHATESTENABLE, TRUE);
        rs->set_rs(D3DRS_ALPHAREF, static_cast<DWORD>(std::clamp(m->get_alpha_ref(), 0, 255)));
        rs->set_rs(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
        return;
    }
    rs->set_rs(D3DRS_SRCBLEND, static_cast<DWORD>(m->get_src_blend()));
    rs->set_rs(D3DRS_DESTBLEND, static_cast<DWORD>(m->get_dst_blend()));
    rs->set_rs(D3DRS_ALPHATESTENABLE, FALSE);
}

int CMtlRenderer::begin(const IMaterial* m, const CTimer* timer) {
    end();
    IDirect3DDevice8* dev = dev_of(core_);
    CRsMan* rs = rs_of(core_);
    if (!dev || !rs || !m) return -1;
    rs_handle_ = rs->capture_rs();
    tss_handle_ = rs->capture_tss();

    D3DMATERIAL8 colour = m->get_color();
    if (m->is_sync_amb_dif()) colour.Ambient = colour.Diffuse;
    dev->SetMaterial(&colour);
    rs->set_rs(D3DRS_LIGHTING, m->is_use_light() ? TRUE : FALSE);
    rs->set_rs(D3DRS_CULLMODE, m->is_two_sided() ? D3DCULL_NONE : D3DCULL_CCW);
    rs->set_rs(D3DRS_FILLMODE, static_cast<DWORD>(m->get_mtl_fill_mode()));
    apply_transparency(m);

    const bool constant_alpha = m->is_enable_transp() && m->get_transp_type() == TRANSP_TYPE_1;
    rs->set_rs(D3DRS_TEXTUREFACTOR,
               factor_colour(constant_alpha ? m->get_transparent_factor() : m->get_env_blend_factor()));

    int stage =
        bind_stage(0, m->get_tex_from_index(WHICH_TEX_DIFFUSE), timer, D3DTOP_MODULATE, D3DTA_DIFFUSE, 0);
    if (stage == 0) {
        rs->tss_color(0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
        rs->tss_alpha(0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
    }
    if (constant_alpha) rs->tss_alpha(0, D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_CURRENT);
    stage = bind_stage(stage, m->get_tex_from_index(WHICH_TEX_LIGHTMAP), timer, m->get_lightmap_op(),
                       D3DTA_CURRENT, 0);
    stage = bind_stage(stage, m->get_tex_from_index(WHICH_TEX_ENVMAP), timer, m->get_env_op(), D3DTA_CURRENT,
                       D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
    // Stages after the first keep the first stage's alpha.
    for (int s = 1; s < stage; ++s)
        rs->tss_alpha(s, D3DTOP_SELECTARG1, D3DTA_CURRENT, D3DTA_CURRENT);
    // Without textures stage 0 still selects the diffuse colour and the constant alpha: the chain ends
    // after it, as a disabled stage 0 would pass the vertex alpha through.
    const int first_unused = std::max(stage, 1);
    if (first_unused < 4) {
        rs->tss_color(first_unused, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_CURRENT);
        rs->tss_alpha(first_unused, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_CURRENT);
    }
    return stage;
}

void CMtlRenderer::end() {
    CRsMan* rs = rs_of(core_);
    IDirect3DDevice8* dev = dev_of(core_);
    if (rs && tss_handle_) rs->restore_tss(tss_handle_);
    if (rs && rs_handle_) rs->restore_rs(rs_handle_);
    for (int s = 0; dev && s < stages_used_; ++s)
        dev->SetTexture(static_cast<DWORD>(s), nullptr);
    rs_handle_ = tss_handle_ = stages_used_ = 0;
}
