#pragma once
// Scene pieces made in memory: meshes in the scene's vertex layout from the extension library's shapes,
// plain coloured materials, and a small sample scene (a floor, coloured boxes, a torus, a sphere, a glass
// box, and a video panel when a clip folder is given) with a camera path around it.
#include "scene.h"

#include <string>

namespace qview {

// A shape (from D3DXCreateBox and the like) in kMeshFvf, texture coordinates projected from the front;
// null on failure.
CMyComPtr<ID3DXMesh> to_scene_mesh(IDirect3DDevice8* dev, ID3DXMesh* shape);
CMyComPtr<ID3DXMesh> make_box_mesh(IDirect3DDevice8* dev, float width, float height, float depth);

// A lit material of one colour; with alpha below 1 it blends by that constant alpha.
CMyComPtr<IMaterial> make_colour_material(gCore* core, float r, float g, float b, float alpha = 1.0f);

// Fills the scene with the sample; a non-empty clip_folder gets a generated clip that plays on a panel.
// False with a reason when a mesh or the clip cannot be made.
bool build_sample_scene(qscene::CScene& scene, IDirect3DDevice8* dev, const std::string& clip_folder,
                        std::string& error);

} // namespace qview
