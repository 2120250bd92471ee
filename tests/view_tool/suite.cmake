# The viewer's library; its videos decode on their own threads.
target_link_libraries(${QCORE_TARGET} PRIVATE qcore_view_lib)
list(APPEND QCORE_TEST_PROPERTIES LABELS threads)
list(APPEND QCORE_TEST_TOOLS qcore-view)
