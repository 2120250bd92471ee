include(${CMAKE_CURRENT_LIST_DIR}/../../support/plugin/plugin.cmake)
# Message queues are posted to from other threads.
list(APPEND QCORE_TEST_PROPERTIES LABELS threads)
