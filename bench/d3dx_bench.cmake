# libjpeg-turbo and meshoptimizer are the peers, called directly.
target_link_libraries(${QCORE_TARGET} PRIVATE JPEG::JPEG meshoptimizer::meshoptimizer)
