# The LAN browser: its list filtering and background thread, and the
# system's answer (empty under Wine).
tessary_add_test(tessary_windows_lan_browser_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/lan_browser_test.cpp
  LIBS tessary_windows_lan_browser)
