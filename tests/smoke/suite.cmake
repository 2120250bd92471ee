# Real SDL windows on an Xvfb display that the test starts itself (needs xvfb, xdotool, x11-apps/x11-utils).
list(APPEND QCORE_TEST_PROPERTIES LABELS display TIMEOUT 120)
list(APPEND QCORE_TEST_TOOLS qcore-demo qcore-view)
