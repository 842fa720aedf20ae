# The software overlay's start-up and shut-down; needs a display (Xvfb under
# Wine). What it shows is checked with the program (overlay_program.cmake).
tessary_add_display_test(tessary_windows_overlay_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/layered_overlay_test.cpp
  LIBS tessary_windows_overlay)
