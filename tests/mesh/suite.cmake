# The optimisation test measures the vertex cache with meshoptimizer's own analysis.
target_link_libraries(${QCORE_TARGET} PRIVATE meshoptimizer::meshoptimizer)
