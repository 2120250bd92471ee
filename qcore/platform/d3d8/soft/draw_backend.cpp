#include <qcore/platform/d3d8/soft/draw_backend.h>
#include <qcore/platform/d3d8/soft/pipeline_backend.h>

#include <utility>

namespace qcore::detail::soft {
namespace {

DrawBackendFactory& factory() {
    static DrawBackendFactory f;
    return f;
}

} // namespace

void install_draw_backend_factory(DrawBackendFactory f) {
    factory() = std::move(f);
}

std::unique_ptr<DrawBackend> make_draw_backend() {
    return factory() ? factory()() : make_pipeline_backend();
}

} // namespace qcore::detail::soft
