# The viewer's library draws; Mesa's llvmpipe through OSMesa draws the same meshes for comparison.
find_package(PkgConfig REQUIRED)
pkg_check_modules(OSMESA REQUIRED IMPORTED_TARGET osmesa)
target_link_libraries(${QCORE_TARGET} PRIVATE qcore_view_lib PkgConfig::OSMESA)
