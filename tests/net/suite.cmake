#Session handlers run on worker threads; one test starts the peer program in a second process.
list(APPEND QCORE_TEST_PROPERTIES LABELS threads)
list(APPEND QCORE_TEST_TOOLS qcore-net-peer)
