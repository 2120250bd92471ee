# Every library the project builds on, found once; see scripts/install-deps.sh for the packages.
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(SDL2 REQUIRED)
find_package(Freetype REQUIRED)
find_package(Fontconfig REQUIRED)
find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
find_package(meshoptimizer REQUIRED)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale libavutil)
pkg_check_modules(STB REQUIRED IMPORTED_TARGET stb)
pkg_check_modules(UUID REQUIRED IMPORTED_TARGET uuid)

# libsquish's .pc file points at /include: find it by hand.
find_path(SQUISH_INCLUDE_DIR squish.h REQUIRED)
find_library(SQUISH_LIBRARY squish REQUIRED)
add_library(qcore_squish UNKNOWN IMPORTED)
set_target_properties(qcore_squish PROPERTIES IMPORTED_LOCATION ${SQUISH_LIBRARY}
                                              INTERFACE_INCLUDE_DIRECTORIES ${SQUISH_INCLUDE_DIR})

find_path(ASIO_INCLUDE_DIR asio.hpp REQUIRED)
add_library(qcore_asio INTERFACE)
target_include_directories(qcore_asio SYSTEM INTERFACE ${ASIO_INCLUDE_DIR})
target_compile_definitions(qcore_asio INTERFACE ASIO_STANDALONE ASIO_NO_DEPRECATED)
target_link_libraries(qcore_asio INTERFACE Threads::Threads)
