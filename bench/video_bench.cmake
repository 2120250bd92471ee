target_link_libraries(${QCORE_TARGET} PRIVATE PkgConfig::FFMPEG)
