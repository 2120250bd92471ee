# The drawing pipeline runs worker threads: CI runs this suite under ThreadSanitizer too.
list(APPEND QCORE_TEST_PROPERTIES LABELS threads)
