# The window locator against a real client program that connects over
# loopback and opens its windows.
tessary_add_display_test(tessary_windows_window_locator_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_locator_test.cpp
  LIBS tessary_windows_window_locator tessary_windows_key_client_process)
