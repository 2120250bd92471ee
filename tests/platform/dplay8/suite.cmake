# Sessions call their handlers on worker threads.
list(APPEND QCORE_TEST_PROPERTIES LABELS threads)
