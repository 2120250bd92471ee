#include <qcore/platform/d3d8/soft/pipeline.h>

#include <utility>

namespace qcore::detail::soft {
namespace {

PipelineFactory& factory() {
    static PipelineFactory f;
    return f;
}

} // namespace

void install_pipeline_factory(PipelineFactory f) {
    factory() = std::move(f);
}

std::unique_ptr<Pipeline> make_pipeline() {
    return factory() ? factory()() : nullptr;
}

} // namespace qcore::detail::soft
