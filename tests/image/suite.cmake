# Saved images are checked with decoders independent of the library's own (stb_image, libjpeg), and the
# test images are written with libpng and libjpeg directly.
target_sources(${QCORE_TARGET} PRIVATE ${CMAKE_CURRENT_LIST_DIR}/image_check.cpp
                                       ${CMAKE_CURRENT_LIST_DIR}/../platform/d3d8/d3dx/image_test_util.cpp)
target_link_libraries(${QCORE_TARGET} PRIVATE PNG::PNG JPEG::JPEG PkgConfig::STB)
# Video textures are written on the media streaming thread.
list(APPEND QCORE_TEST_PROPERTIES LABELS threads)
