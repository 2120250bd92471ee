# The thread window receives messages posted from other threads.
list(APPEND QCORE_TEST_PROPERTIES LABELS threads)
