#pragma once
// Turns a model read from an interchange file into a host scene and writes it as a scene file, with the
// model's textures copied beside it.
//
//   qscene::CScene scene(&core);                 // the core needs a device: meshes are made on it
//   std::string error;
//   if (!qimport::import_model(scene, "chair.obj", "out/chair.tpk", {}, error)) ...
#include "model.h"
#include "scene.h"

#include <string>
#include <vector>

namespace qimport {

struct ImportOptions {
    float scale = 1.0f; // applied to every item's world transform
};

// Fills scene (emptied first) from the model: one mesh per model mesh that some item places, every
// material with its diffuse texture copied into out_dir (a folder ending with '/'), the items, a camera
// framing them and a default work area. Textures that cannot be copied are left out with a warning.
bool build_scene(const Model& model, qscene::CScene& scene, const std::string& out_dir,
                 const ImportOptions& options, std::string& error, std::vector<std::string>& warnings);

// Reads model_path, builds the scene and saves it as out_path. On failure error holds one line and no
// scene file is left behind.
bool import_model(qscene::CScene& scene, const std::string& model_path, const std::string& out_path,
                  const ImportOptions& options, std::string& error,
                  std::vector<std::string>* warnings = nullptr, const Progress& progress = {});

} // namespace qimport
