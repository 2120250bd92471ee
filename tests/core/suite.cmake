# The thread window receives messages posted from other threads.
set(QCORE_TEST_PROPERTIES LABELS threads)
