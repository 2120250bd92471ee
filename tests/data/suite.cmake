include(${CMAKE_CURRENT_LIST_DIR}/../support/plugin/plugin.cmake)
