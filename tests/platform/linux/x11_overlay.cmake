# The X11 overlay against a private Xvfb server that the test program starts.
tessary_add_test(tessary_linux_x11_overlay_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/x11_overlay_test.cpp
  LIBS tessary_linux_x11_overlay tessary_test_support PkgConfig::TESSARY_X11_OVERLAY)
