#pragma once
// A bitmap font: the printable ASCII characters drawn once by the GDI into a glyph texture, then text drawn
// as textured quads. Other characters (UTF-8 text, Chinese included) are added to the texture's free space
// the first time they are drawn or measured; when it is full they show as '?'.
#include <qcore/core/core.h>
#include <qcore/core/simp_draw.h>
#include <qcore/geom/math3d.h>
#include <qcore/platform/d3d8/d3d8.h>
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/mfc_types.h>

#include <array>
#include <string_view>
#include <unordered_map>

class CD3dFont : public CLocalObj {
public:
    // Creation flags.
    enum : DWORD { BOLD = 0x1, ITALIC = 0x2, ZENABLE = 0x4 };
    // Render flags.
    enum : DWORD { CENTERED = 0x1, TWOSIDED = 0x2, FILTERED = 0x4 };

    explicit CD3dFont(gCore* core);
    ~CD3dFont() override;
    CD3dFont(const CD3dFont&) = delete;
    CD3dFont& operator=(const CD3dFont&) = delete;

    // Builds the glyph texture and the vertex buffer; false when the texture or the font cannot be made.
    bool Init(IDirect3DDevice8* device, const char* face, int height_in_pixels, DWORD flags);
    void v_on_restore_local_objects() override;
    void v_on_delete_local_objects() override;

    // Widest line by number of lines; characters below 32 other than the line feed are skipped.
    CSize GetTextExtent(const char* text);
    int RenderText(float x, float y, DWORD color, const char* text, DWORD render_flags);
    // Screen-space text at depth z with glyphs scaled by the two factors.
    int RenderTextScaled(float x, float y, float z, float x_scale, float y_scale, DWORD color,
                         const char* text, DWORD render_flags);
    // White text in the xy plane of the current world, view and projection transforms, one unit per line:
    // it starts at the origin and runs along +x, lines going down along -y.
    int Render3DText(const char* text, DWORD render_flags);

    int get_tex_width() const { return static_cast<int>(tex_width); }
    int get_tex_height() const { return static_cast<int>(tex_height); }
    float get_tex_scale() const { return tex_scale; }
    IDirect3DTexture8* get_texture() const { return texture; }
    IDirect3DVertexBuffer8* get_vertex_buffer() const { return vb; }
    // Texture rectangle (left, top, right, bottom) of a character; null when it has none.
    const float* get_glyph(char32_t c);

    IDirect3DDevice8* dev = nullptr;
    CString face_name;
    int height = 0;
    DWORD create_flags = 0;
    DWORD tex_width = 0;
    DWORD tex_height = 0;
    float tex_scale = 1.0f;
    float tex_coords[95][4] = {};
    IDirect3DTexture8* texture = nullptr;
    IDirect3DVertexBuffer8* vb = nullptr;

private:
    struct Quad {
        float x, y, w, h; // in pixels from the text's origin, y down
        const float* uv;
    };
    template <class Sink> void layout(std::string_view text, Sink&& sink);
    int draw_quads(std::string_view text, float x, float y, float z, float x_scale, float y_scale,
                   DWORD color, DWORD render_flags);
    void apply_font_states(DWORD render_flags);
    bool add_glyph(char32_t c);
    float line_height() const;

    std::unordered_map<char32_t, std::array<float, 4>> extra_glyphs_;
    int pack_x_ = 0, pack_y_ = 0, pack_row_ = 0; // where the next extra glyph goes
};
