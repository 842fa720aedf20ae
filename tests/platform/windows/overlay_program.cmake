# The overlay, "watch" and the render area end to end with the built program:
# tessary.exe and win32_key_client as its client on one display; and a first
# run as a user meets it (the tray's balloon and dialogs).
if(TARGET tessary)
  tessary_add_display_test(tessary_windows_overlay_program_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/overlay_program_test.cpp ${CMAKE_CURRENT_LIST_DIR}/first_run_test.cpp
    LIBS tessary_windows_key_client_process tessary_test_support comctl32)
  target_compile_definitions(tessary_windows_overlay_program_tests PRIVATE TESSARY_PROGRAM="$<TARGET_FILE:tessary>")
  add_dependencies(tessary_windows_overlay_program_tests tessary)
  # The overlay again with the system at 150 % (LogPixels 144, in a Wine
  # prefix of its own): the test and its client count in physical pixels, and
  # so must Tessary, for its render area, the watched window and the overlay
  # to land where they do at 100 %.
  gtest_discover_tests(tessary_windows_overlay_program_tests DISCOVERY_TIMEOUT 120
                       TEST_PREFIX "Scaled150." TEST_FILTER "OverlayProgramTest.*"
                       PROPERTIES LABELS "display" RESOURCE_LOCK windows_display TIMEOUT 300
                                  ENVIRONMENT "TESSARY_DISPLAY_DPI=144")
endif()
