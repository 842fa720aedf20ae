# The X11 overlay's cost per fed tick, against a private Xvfb server.
tessary_add_bench(tessary_linux_x11_overlay_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/x11_overlay_bench.cpp
          ${PROJECT_SOURCE_DIR}/tests/platform/linux/x11_overlay_test_support.cpp
  LIBS tessary_linux_x11_overlay PkgConfig::TESSARY_X11_OVERLAY)
