# The image tests write their files with libpng and libjpeg directly, independently of the readers;
# the mesh tests compare with meshoptimizer's own cache analysis.
target_sources(${QCORE_TARGET} PRIVATE ${CMAKE_CURRENT_LIST_DIR}/image_test_util.cpp)
target_link_libraries(${QCORE_TARGET} PRIVATE PNG::PNG JPEG::JPEG meshoptimizer::meshoptimizer)
