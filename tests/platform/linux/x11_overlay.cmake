# The X11 overlay against a private Xvfb server that each test program starts.
tessary_add_test(tessary_linux_x11_overlay_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/x11_overlay_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/x11_overlay_test_support.cpp
  LIBS tessary_linux_x11_overlay PkgConfig::TESSARY_X11_OVERLAY)
