# Real SDL windows on an Xvfb display that the test starts itself (needs xvfb, xdotool, x11-apps/x11-utils).
set(QCORE_TEST_PROPERTIES LABELS display TIMEOUT 120
    ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/support/lsan.supp")
