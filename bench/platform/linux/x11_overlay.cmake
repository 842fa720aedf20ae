# The X11 overlay's cost per fed tick, against a private Xvfb server.
tessary_add_bench(tessary_linux_x11_overlay_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/x11_overlay_bench.cpp
          ${PROJECT_SOURCE_DIR}/tests/support/xvfb_session.cpp
          ${PROJECT_SOURCE_DIR}/tests/support/child_process.cpp
          ${PROJECT_SOURCE_DIR}/tests/support/temp_folder.cpp
          ${PROJECT_SOURCE_DIR}/tests/support/x11_key_client.cpp
          ${PROJECT_SOURCE_DIR}/tests/support/outside_programs.cpp
  LIBS tessary_linux_x11_overlay PkgConfig::TESSARY_X11_OVERLAY)
target_compile_definitions(tessary_linux_x11_overlay_bench PRIVATE
  TESSARY_OUTSIDE_PROGRAMS_LIST="${PROJECT_SOURCE_DIR}/tools/outside-programs.txt")
