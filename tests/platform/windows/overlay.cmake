# The software overlay over a client program's key-coloured windows, read
# back from the screen; needs a display (Xvfb under Wine).
tessary_add_display_test(tessary_windows_overlay_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/layered_overlay_test.cpp
  LIBS tessary_windows_overlay tessary_windows_window_locator tessary_windows_key_client_process)
