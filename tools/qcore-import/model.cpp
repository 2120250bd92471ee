#include "model.h"

#include <assimp/Importer.hpp>
#include <assimp/ProgressHandler.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <qcore/platform/d3d8/d3dx/image_codec.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace qimport {
namespace {

namespace fs = std::filesystem;

class ProgressRelay : public Assimp::ProgressHandler {
public:
    explicit ProgressRelay(const Progress& p) : progress_(p) {}
    bool Update(float percentage) override {
        return !progress_ || progress_(std::clamp(percentage, 0.0f, 1.0f) * 0.8f, "reading");
    }

private:
    const Progress& progress_;
};

void copy_colour(const aiMaterial* m, const char* key, unsigned type, unsigned idx, float* out) {
    aiColor4D c;
    if (m->Get(key, type, idx, c) == AI_SUCCESS) {
        out[0] = c.r;
        out[1] = c.g;
        out[2] = c.b;
        out[3] = c.a;
    }
}

// Raw embedded texels (BGRA bytes, as the library lays them out) become a PNG file.
std::string save_texels(const aiTexture* tex, unsigned index, const std::string& base,
                        std::vector<std::string>& warnings) {
    const std::string file = base + std::to_string(index) + ".png";
    if (!qcore::detail::sane_size(tex->mWidth, tex->mHeight)) {
        warnings.push_back("embedded texture " + std::to_string(index) + " is too large; left out");
        return {};
    }
    qcore::detail::ArgbImage image;
    image.width = tex->mWidth;
    image.height = tex->mHeight;
    image.pixels.reserve(size_t{tex->mWidth} * tex->mHeight);
    for (size_t i = 0, n = size_t{tex->mWidth} * tex->mHeight; i < n; ++i) {
        const aiTexel& t = tex->pcData[i];
        image.pixels.push_back(uint32_t{t.a} << 24 | uint32_t{t.r} << 16 | uint32_t{t.g} << 8 | t.b);
    }
    std::error_code ec;
    fs::create_directories(fs::path(file).parent_path(), ec);
    if (!qcore::detail::write_whole_file(file.c_str(), qcore::detail::encode_png(image, false))) {
        warnings.push_back("cannot write " + file);
        return {};
    }
    return file;
}

// Writes an embedded texture ("*N" or a name the file gives) as an image file and returns its path.
std::string save_embedded(const aiTexture* tex, unsigned index, const std::string& base,
                          std::vector<std::string>& warnings) {
    if (tex->mHeight != 0) return save_texels(tex, index, base, warnings);
    // The hint comes from the file: only a short plain word is taken as an extension.
    std::string ext(tex->achFormatHint, strnlen(tex->achFormatHint, sizeof tex->achFormatHint));
    if (ext.empty() || !std::all_of(ext.begin(), ext.end(),
                                    [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
        ext = "bin";
    if (ext == "jpeg") ext = "jpg";
    const fs::path file = base + std::to_string(index) + "." + ext;
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(tex->pcData), static_cast<std::streamsize>(tex->mWidth));
    if (!out) {
        warnings.push_back("cannot write " + file.string());
        return {};
    }
    return file.string();
}

std::string texture_path(const aiScene* scene, const aiMaterial* m, const fs::path& model_dir,
                         const std::string& embedded_base, std::vector<std::string>& warnings) {
    aiString name;
    if (m->GetTextureCount(aiTextureType_DIFFUSE) == 0 && m->GetTextureCount(aiTextureType_BASE_COLOR) == 0)
        return {};
    if (m->GetTexture(aiTextureType_DIFFUSE, 0, &name) != AI_SUCCESS &&
        m->GetTexture(aiTextureType_BASE_COLOR, 0, &name) != AI_SUCCESS)
        return {};
    if (const aiTexture* tex = scene->GetEmbeddedTexture(name.C_Str())) {
        const unsigned index = static_cast<unsigned>(
            std::find(scene->mTextures, scene->mTextures + scene->mNumTextures, tex) - scene->mTextures);
        return save_embedded(tex, index, embedded_base, warnings);
    }
    std::string rel = name.C_Str();
    std::replace(rel.begin(), rel.end(), '\\', '/');
    fs::path p = fs::path(rel).is_absolute() ? fs::path(rel) : model_dir / rel;
    if (!fs::is_regular_file(p)) {
        warnings.push_back("texture not found: " + p.string());
        return {};
    }
    return fs::absolute(p).lexically_normal().string();
}

Material read_material(const aiScene* scene, const aiMaterial* m, const fs::path& model_dir,
                       const std::string& embedded_base, std::vector<std::string>& warnings) {
    Material out;
    aiString name;
    if (m->Get(AI_MATKEY_NAME, name) == AI_SUCCESS) out.name = name.C_Str();
    copy_colour(m, AI_MATKEY_COLOR_DIFFUSE, out.diffuse);
    copy_colour(m, AI_MATKEY_BASE_COLOR, out.diffuse);
    copy_colour(m, AI_MATKEY_COLOR_AMBIENT, out.ambient);
    copy_colour(m, AI_MATKEY_COLOR_SPECULAR, out.specular);
    copy_colour(m, AI_MATKEY_COLOR_EMISSIVE, out.emissive);
    m->Get(AI_MATKEY_SHININESS, out.power);
    float opacity = 1;
    if (m->Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS) out.opacity = std::clamp(opacity, 0.0f, 1.0f);
    out.opacity = std::min(out.opacity, std::clamp(out.diffuse[3], 0.0f, 1.0f));
    out.diffuse[3] = 1.0f;
    int two_sided = 0;
    if (m->Get(AI_MATKEY_TWOSIDED, two_sided) == AI_SUCCESS) out.two_sided = two_sided != 0;
    out.diffuse_texture = texture_path(scene, m, model_dir, embedded_base, warnings);
    return out;
}

Mesh read_mesh(const aiMesh* m) {
    Mesh out;
    out.name = m->mName.C_Str();
    out.material = m->mMaterialIndex;
    out.vertices.resize(m->mNumVertices);
    for (unsigned i = 0; i < m->mNumVertices; ++i) {
        Vertex& v = out.vertices[i];
        v = {};
        v.pos[0] = m->mVertices[i].x;
        v.pos[1] = m->mVertices[i].y;
        v.pos[2] = m->mVertices[i].z;
        if (m->HasNormals()) {
            v.normal[0] = m->mNormals[i].x;
            v.normal[1] = m->mNormals[i].y;
            v.normal[2] = m->mNormals[i].z;
        }
        if (m->HasTextureCoords(0)) {
            v.uv[0] = m->mTextureCoords[0][i].x;
            v.uv[1] = m->mTextureCoords[0][i].y;
        }
    }
    out.indices.reserve(size_t(m->mNumFaces) * 3);
    for (unsigned f = 0; f < m->mNumFaces; ++f) {
        const aiFace& face = m->mFaces[f];
        if (face.mNumIndices != 3) continue; // points and lines left over after triangulation
        out.indices.insert(out.indices.end(), face.mIndices, face.mIndices + 3);
    }
    return out;
}

// Assimp's matrices act on column vectors; the device's act on row vectors: transpose.
void to_row_major(const aiMatrix4x4& m, float* out) {
    const float in[16] = {m.a1, m.b1, m.c1, m.d1, m.a2, m.b2, m.c2, m.d2,
                          m.a3, m.b3, m.c3, m.d3, m.a4, m.b4, m.c4, m.d4};
    std::copy(in, in + 16, out);
}

void place_items(const aiScene* scene, const aiNode* node, const aiMatrix4x4& parent, Model& out) {
    const aiMatrix4x4 world = parent * node->mTransformation;
    for (unsigned i = 0; i < node->mNumMeshes; ++i) {
        const unsigned mesh = node->mMeshes[i];
        if (mesh >= scene->mNumMeshes || out.meshes[mesh].indices.empty()) continue;
        Item item;
        item.mesh = mesh;
        item.name = node->mName.length ? node->mName.C_Str() : out.meshes[mesh].name;
        if (item.name.empty()) item.name = "item" + std::to_string(out.items.size());
        if (node->mNumMeshes > 1) item.name += "_" + std::to_string(i);
        to_row_major(world, item.world);
        out.items.push_back(std::move(item));
    }
    for (unsigned c = 0; c < node->mNumChildren; ++c)
        place_items(scene, node->mChildren[c], world, out);
}

} // namespace

bool read_model(const std::string& path, const std::string& embedded_base, Model& out, std::string& error,
                const Progress& progress) {
    out = Model();
    if (!fs::is_regular_file(path)) {
        error = "cannot open " + path + ": no such file";
        return false;
    }
    Assimp::Importer importer;
    importer.SetProgressHandler(new ProgressRelay(progress)); // the importer owns and deletes it
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    const unsigned flags = aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                           aiProcess_GenSmoothNormals | aiProcess_SortByPType |
                           aiProcess_ConvertToLeftHanded | aiProcess_ValidateDataStructure |
                           aiProcess_RemoveRedundantMaterials | aiProcess_FindInvalidData;
    const aiScene* scene = importer.ReadFile(path, flags);
    if (!scene || !scene->mRootNode || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE)) {
        error = "cannot read " + path + ": " + importer.GetErrorString();
        return false;
    }
    const fs::path model_dir = fs::absolute(fs::path(path)).parent_path();
    for (unsigned i = 0; i < scene->mNumMaterials; ++i)
        out.materials.push_back(
            read_material(scene, scene->mMaterials[i], model_dir, embedded_base, out.warnings));
    if (out.materials.empty()) out.materials.emplace_back();
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
        out.meshes.push_back(read_mesh(scene->mMeshes[i]));
        if (out.meshes.back().material >= out.materials.size()) out.meshes.back().material = 0;
        if (progress && !progress(0.8f + 0.2f * float(i + 1) / float(scene->mNumMeshes), "meshes")) {
            error = "import of " + path + " cancelled";
            return false;
        }
    }
    place_items(scene, scene->mRootNode, aiMatrix4x4(), out);
    if (out.items.empty()) {
        error = "cannot read " + path + ": it holds no triangles";
        return false;
    }
    return true;
}

} // namespace qimport
