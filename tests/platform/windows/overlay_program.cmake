# The overlay, "watch" and the render area end to end with the built program:
# tessary.exe and win32_key_client as its client on one display.
if(TARGET tessary)
  tessary_add_display_test(tessary_windows_overlay_program_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/overlay_program_test.cpp
    LIBS tessary_windows_key_client_process tessary_test_support)
  target_compile_definitions(tessary_windows_overlay_program_tests PRIVATE TESSARY_PROGRAM="$<TARGET_FILE:tessary>")
  add_dependencies(tessary_windows_overlay_program_tests tessary)
endif()
