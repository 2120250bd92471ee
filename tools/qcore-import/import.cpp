#include "import.h"

#include <qcore/core/device.h>
#include <qcore/platform/d3d8/d3dx/image_codec.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

namespace qimport {
namespace {

namespace fs = std::filesystem;
using qscene::CScene;

D3DCOLORVALUE colour_of(const float* c) {
    return {c[0], c[1], c[2], c[3]};
}

// A diffuse map that names a video file makes the material a video surface.
bool is_video_file(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    static const char* const kinds[] = {".mp4", ".m4v",  ".mov", ".avi", ".mkv", ".webm",
                                        ".mpg", ".mpeg", ".wmv", ".ogv", ".flv"};
    return std::any_of(std::begin(kinds), std::end(kinds), [&](const char* k) { return ext == k; });
}

// How a texture's alpha channel is used: not at all, cut-outs only (0 or 255), or blended.
enum class TextureAlpha { none, cutout, blended };

TextureAlpha texture_alpha(const std::string& path) {
    std::vector<uint8_t> bytes;
    qcore::detail::DecodedImage image;
    qcore::detail::ArgbImage argb;
    if (!qcore::detail::read_whole_file(path.c_str(), bytes) ||
        FAILED(qcore::detail::decode_image(bytes.data(), bytes.size(), image)) ||
        !qcore::detail::level_to_argb(image, 0, argb))
        return TextureAlpha::none;
    TextureAlpha found = TextureAlpha::none;
    for (uint32_t p : argb.pixels) {
        const uint32_t a = p >> 24;
        if (a == 255) continue;
        if (a != 0) return TextureAlpha::blended;
        found = TextureAlpha::cutout;
    }
    return found;
}

// Copies each texture file once into the scene's folder; files from different folders that share a
// name get distinct names there.
class TextureCopier {
public:
    explicit TextureCopier(std::string out_dir) : dir_(std::move(out_dir)) {}

    // The copy's absolute path, or empty when the file cannot be copied.
    std::string copy(const std::string& source, std::vector<std::string>& warnings) {
        if (auto done = copies_.find(source); done != copies_.end()) return done->second;
        std::error_code ec;
        fs::path target = fs::path(dir_) / fs::path(source).filename();
        for (int n = 1; used_.count(target.string()); ++n)
            target = fs::path(dir_) / (fs::path(source).stem().string() + "_" + std::to_string(n) +
                                       fs::path(source).extension().string());
        if (!fs::equivalent(source, target, ec))
            fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            warnings.push_back("cannot copy texture " + source + ": " + ec.message());
            return copies_[source] = {};
        }
        used_.insert(target.string());
        return copies_[source] = target.string();
    }

private:
    std::string dir_;
    std::map<std::string, std::string> copies_;
    std::set<std::string> used_;
};

CMyComPtr<IMaterial> make_material(gCore* core, const Material& src, const std::string& texture) {
    CMyComPtr<IMaterial> m = IMaterial::create_empty(core);
    D3DMATERIAL8 c{};
    c.Diffuse = colour_of(src.diffuse);
    c.Ambient = colour_of(src.ambient);
    c.Specular = colour_of(src.specular);
    c.Emissive = colour_of(src.emissive);
    c.Power = std::isfinite(src.power) ? std::max(src.power, 0.0f) : 0.0f;
    m->set_color(c);
    m->set_mtl_version(IMaterial::cur_mtl_version);
    m->set_two_sided(src.two_sided ? 1 : 0);
    // A model without its own ambient colour lets the ambient follow the diffuse one.
    m->set_sync_amb_dif(src.ambient[0] <= 0 && src.ambient[1] <= 0 && src.ambient[2] <= 0 ? 1 : 0);

    const TextureAlpha alpha = texture.empty() ? TextureAlpha::none : texture_alpha(texture);
    if (src.opacity < 1.0f) {
        m->enable_transp(1);
        m->set_transp_type(TRANSP_TYPE_1);
        m->set_transparent_factor(static_cast<int>(std::lround(std::clamp(src.opacity, 0.0f, 1.0f) * 255)));
        m->set_src_blend(D3DBLEND_SRCALPHA);
        m->set_dst_blend(D3DBLEND_INVSRCALPHA);
        m->set_zwrite(0);
    } else if (alpha != TextureAlpha::none) {
        m->enable_transp(1);
        m->set_transp_type(TRANSP_TYPE_TEXTURE_ALPHA);
        // Cut-outs keep depth writes: their visible texels are opaque.
        m->set_zwrite(alpha == TextureAlpha::cutout ? 1 : 0);
        m->set_alpha_ref(alpha == TextureAlpha::cutout ? 128 : 16);
    }
    if (!texture.empty()) {
        CTexFileCreateOpt opt;
        opt.set_desired_tex_type(m->get_tex_prop_type(WHICH_TEX_DIFFUSE));
        ITexture* t = m->get_tex_from_index(WHICH_TEX_DIFFUSE);
        t->create_tex_file(texture.c_str(), nullptr, opt, 1);
        t->set_map_channel_in_origin_data(1);
        t->set_tex_coord_inex_in_render(0);
        t->set_tex_stage_in_render(0);
        t->enable_texture(1);
    }
    return m;
}

CMyComPtr<ID3DXMesh> make_mesh(IDirect3DDevice8* device, const Mesh& src) {
    const bool wide = src.vertices.size() > 0xffff;
    CMyComPtr<ID3DXMesh> mesh;
    if (FAILED(D3DXCreateMeshFVF(
            static_cast<DWORD>(src.indices.size() / 3), static_cast<DWORD>(src.vertices.size()),
            D3DXMESH_SYSTEMMEM | (wide ? D3DXMESH_32BIT : 0), qscene::kMeshFvf, device, mesh.out())))
        return {};
    BYTE* vb = nullptr;
    BYTE* ib = nullptr;
    static_assert(sizeof(Vertex) == sizeof(qscene::MeshVertex));
    if (FAILED(mesh->LockVertexBuffer(0, &vb)) || !vb) return {};
    std::memcpy(vb, src.vertices.data(), src.vertices.size() * sizeof(Vertex));
    mesh->UnlockVertexBuffer();
    if (FAILED(mesh->LockIndexBuffer(0, &ib)) || !ib) return {};
    if (wide) {
        std::memcpy(ib, src.indices.data(), src.indices.size() * sizeof(uint32_t));
    } else {
        auto* out = reinterpret_cast<uint16_t*>(ib);
        for (size_t i = 0; i < src.indices.size(); ++i)
            out[i] = static_cast<uint16_t>(src.indices[i]);
    }
    mesh->UnlockIndexBuffer();
    return mesh;
}

bool report(const Progress& progress, float done, const char* what) {
    return !progress || progress(done, what);
}

} // namespace

bool build_scene(const Model& model, CScene& scene, const std::string& out_dir, const ImportOptions& options,
                 std::string& error, std::vector<std::string>& warnings) {
    scene.clear();
    scene.folder = out_dir;
    gCore* core = scene.get_core();
    IDirect3DDevice8* device = core && core->dev ? core->dev->get_dev() : nullptr;
    if (!device) {
        error = "no device to build meshes on";
        return false;
    }
    if (!(options.scale > 0) || !std::isfinite(options.scale)) {
        error = "the scale must be a positive number";
        return false;
    }
    TextureCopier copier(out_dir);
    for (const Material& src : model.materials) {
        const std::string file =
            src.diffuse_texture.empty() ? std::string() : copier.copy(src.diffuse_texture, warnings);
        if (is_video_file(file))
            scene.materials.push_back({make_material(core, src, {}), fs::path(file).filename().string()});
        else
            scene.materials.push_back({make_material(core, src, file), {}});
    }
    if (scene.materials.empty()) scene.materials.push_back({make_material(core, Material(), {}), {}});

    // Only meshes that some item places, each made once.
    std::map<unsigned, int> mesh_of;
    const MAT scale = MAT::get_scaling_matrix(options.scale, options.scale, options.scale);
    for (const Item& item : model.items) {
        if (item.mesh >= model.meshes.size()) continue;
        const Mesh& src = model.meshes[item.mesh];
        auto [slot, fresh] = mesh_of.emplace(item.mesh, static_cast<int>(scene.meshes.size()));
        if (fresh) {
            CMyComPtr<ID3DXMesh> mesh = make_mesh(device, src);
            if (!mesh) {
                error = "cannot make mesh " + src.name + " (" + std::to_string(src.vertices.size()) +
                        " vertices)";
                scene.clear();
                return false;
            }
            scene.meshes.push_back(mesh);
        }
        const int material = src.material < scene.materials.size() ? static_cast<int>(src.material) : 0;
        scene.add_item(item.name.c_str(), slot->second, MAT(item.world) * scale, {material});
    }
    if (scene.items.empty()) {
        error = "the model places no triangles";
        return false;
    }
    scene.frame_camera();
    scene.aera = CAeraCfg();
    return true;
}

bool import_model(CScene& scene, const std::string& model_path, const std::string& out_path,
                  const ImportOptions& options, std::string& error, std::vector<std::string>* warnings,
                  const Progress& progress) {
    std::error_code ec;
    const fs::path out = fs::absolute(fs::path(out_path), ec).lexically_normal();
    const std::string out_dir = out.parent_path().string() + "/";
    if (!fs::is_directory(out.parent_path(), ec)) {
        error = "cannot write " + out.string() + ": its folder does not exist";
        return false;
    }
    Model model;
    std::vector<std::string> own_warnings;
    std::vector<std::string>& notes = warnings ? *warnings : own_warnings;
    auto reading = [&](float done, const char* what) { return report(progress, done * 0.8f, what); };
    if (!read_model(model_path, out_dir + out.stem().string() + "_embedded", model, error, reading))
        return false;
    notes.insert(notes.end(), model.warnings.begin(), model.warnings.end());
    if (!build_scene(model, scene, out_dir, options, error, notes)) return false;
    auto saving = [&](float done, const char* what) { return report(progress, 0.8f + done * 0.2f, what); };
    return scene.save(out.string().c_str(), error, saving);
}

} // namespace qimport
