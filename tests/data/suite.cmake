include(${CMAKE_CURRENT_LIST_DIR}/../support/plugin/plugin.cmake)
# Text drawing loads fontconfig, which leaks while parsing its own configuration.
set(QCORE_TEST_PROPERTIES ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/support/lsan.supp")
