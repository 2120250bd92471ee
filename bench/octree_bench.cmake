find_package(embree 3 REQUIRED CONFIG)
target_link_libraries(${QCORE_TARGET} PRIVATE embree)
