#pragma once
// The device's drawing pipeline behind the draw seam: converts the device state to the pipeline's records
// once per draw and runs the pipeline.
#include <qcore/platform/d3d8/soft/draw_backend.h>

#include <memory>

namespace qcore::detail::soft {

std::unique_ptr<DrawBackend> make_pipeline_backend();

} // namespace qcore::detail::soft
