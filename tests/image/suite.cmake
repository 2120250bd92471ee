# Video textures are written on the media streaming thread.
list(APPEND QCORE_TEST_PROPERTIES LABELS threads)
