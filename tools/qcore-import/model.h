#pragma once
// A model read from an interchange file, flattened into what a scene file holds: meshes in the
// position-normal-texture vertex layout, materials, and one item per placed mesh with its world transform
// (row vectors, left-handed, as the device uses them).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qimport {

struct Vertex {
    float pos[3];
    float normal[3];
    float uv[2];
};

struct Mesh {
    std::string name;
    std::vector<Vertex> vertices;
    std::vector<uint32_t> indices; // triangle list
    unsigned material = 0;
};

struct Material {
    std::string name;
    float diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    float ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    float specular[4] = {0, 0, 0, 1.0f};
    float emissive[4] = {0, 0, 0, 1.0f};
    float power = 0;
    float opacity = 1.0f;
    bool two_sided = false;
    std::string diffuse_texture; // absolute path of the image file, empty for none
};

struct Item {
    std::string name;
    unsigned mesh = 0;
    float world[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

struct Model {
    std::vector<Mesh> meshes;
    std::vector<Material> materials;
    std::vector<Item> items;
    std::vector<std::string> warnings;
};

// Fraction done in [0, 1] and a short text; return false to cancel.
using Progress = std::function<bool(float done, const char* what)>;

// Reads the file; textures embedded in it (glb) are written as image files named embedded_base + N + their
// extension. Returns false with a one-line reason when the file cannot be read.
bool read_model(const std::string& path, const std::string& embedded_base, Model& out, std::string& error,
                const Progress& progress = {});

} // namespace qimport
