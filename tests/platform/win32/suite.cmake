include(${CMAKE_CURRENT_LIST_DIR}/../../support/plugin/plugin.cmake)

# Message queues are posted to from other threads.
set(QCORE_TEST_PROPERTIES LABELS threads)
