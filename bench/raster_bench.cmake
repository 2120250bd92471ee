# Mesa's llvmpipe through OSMesa draws the same scene with fixed-function OpenGL for comparison.
find_package(PkgConfig REQUIRED)
pkg_check_modules(OSMESA REQUIRED IMPORTED_TARGET osmesa)
target_link_libraries(${QCORE_TARGET} PRIVATE PkgConfig::OSMESA)
