# The tiny plug-in library of tests/support/plugin, built once and used by the suites that load it.
if(NOT TARGET qcore_test_plugin)
  add_library(qcore_test_plugin SHARED ${CMAKE_CURRENT_LIST_DIR}/test_plugin.c)
  set_target_properties(qcore_test_plugin PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/test_plugins)
endif()
add_dependencies(${QCORE_TARGET} qcore_test_plugin)
target_compile_definitions(${QCORE_TARGET} PRIVATE QCORE_TEST_PLUGIN="$<TARGET_FILE:qcore_test_plugin>")
