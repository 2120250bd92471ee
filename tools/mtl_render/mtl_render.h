#pragma once
// Drawing with materials: sets the device's material, the render states and the texture stages from an
// IMaterial through the render-state manager, and restores them afterwards.
//
//   CMtlRenderer r(core);
//   r.begin(material, &timer);   // states captured, material applied
//   device->DrawPrimitive(...);  // the mesh's texture coordinates: index map_channel_in_render (or 0)
//   r.end();                     // states restored
//
// Transparency types: 1 blends with the material's blend factors and a constant alpha of
// transparent_factor (255 opaque); 2 takes alpha from the diffuse texture, drops texels below alpha_ref
// and blends the rest by their alpha; 3 blends with the material's blend factors and the diffuse
// texture's alpha. Transparent materials draw after opaque ones, by transp_priority (see draw_before).
#include <qcore/core/core.h>
#include <qcore/texture/material.h>

class CTimer;

class CMtlRenderer {
public:
    explicit CMtlRenderer(gCore* core) : core_(core) {}
    ~CMtlRenderer() { end(); }
    CMtlRenderer(const CMtlRenderer&) = delete;
    CMtlRenderer& operator=(const CMtlRenderer&) = delete;

    // Captures the states and applies the material; returns the number of texture stages in use, or -1
    // without a device.
    int begin(const IMaterial* material, const CTimer* timer);
    // Restores what begin captured (nothing when begin was not called).
    void end();

    static bool is_transparent(const IMaterial* m) { return m && m->is_enable_transp(); }
    // Opaque first, then transparent ones by ascending transp_priority.
    static bool draw_before(const IMaterial* a, const IMaterial* b);

private:
    int bind_stage(int stage, ITexture* texture, const CTimer* timer, DWORD op, DWORD arg2, DWORD tci_flags);
    void apply_transparency(const IMaterial* m);

    gCore* core_;
    int rs_handle_ = 0;
    int tss_handle_ = 0;
    int stages_used_ = 0;
};
