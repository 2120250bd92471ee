# The graph streams on its own thread.
list(APPEND QCORE_TEST_PROPERTIES LABELS threads)
