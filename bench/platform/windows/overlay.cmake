# The Windows overlay's cost per fed tick: a plain timing program (Google
# Benchmark is not cross-built), run under Wine with a 1920 x 1080 screen.
add_executable(tessary_windows_overlay_timing ${CMAKE_CURRENT_LIST_DIR}/layered_overlay_timing.cpp)
target_link_libraries(tessary_windows_overlay_timing PRIVATE tessary_windows_overlay user32 gdi32
                      tessary_warnings)
