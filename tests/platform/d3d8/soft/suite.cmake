# The drawing pipeline runs worker threads: CI runs this suite under ThreadSanitizer too.
set(QCORE_TEST_PROPERTIES LABELS threads)
