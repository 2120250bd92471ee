# The material renderer is a tools library, not part of the core.
target_link_libraries(${QCORE_TARGET} PRIVATE qcore_mtl_render)
list(APPEND QCORE_TEST_TOOLS qcore-demo tpk)
