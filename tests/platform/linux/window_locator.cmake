# The client's process over real loopback sockets, and its windows under a
# private Xvfb server that the test program starts.
tessary_add_test(tessary_linux_window_locator_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_locator_test.cpp
  LIBS tessary_linux_window_locator tessary_linux_sockets tessary_link_test_support tessary_test_support
       PkgConfig::TESSARY_X11_WINDOW_LOCATOR)
