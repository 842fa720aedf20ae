tessary_add_test(tessary_linux_avahi_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/avahi_lan_browser_test.cpp
  LIBS tessary_linux_avahi)
