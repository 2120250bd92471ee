#include "scene.h"

namespace qscene {

// Placeholder until the file layout lands.
bool CScene::save(const char*, std::string& error, const Progress&) const {
    error = "scene files are not written yet";
    return false;
}

bool CScene::load(const char*, std::string& error, const Progress&) {
    clear();
    error = "scene files are not read yet";
    return false;
}

} // namespace qscene
