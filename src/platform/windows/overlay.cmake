# The overlay on Windows: a layered window keyed on the screen beneath, with
# the display's pixel work (picture, stretch, key shape) of the core; DirectDraw
# is only asked whether the driver offers overlay surfaces.
add_library(tessary_windows_overlay STATIC ${CMAKE_CURRENT_LIST_DIR}/layered_overlay.cpp)
target_link_libraries(tessary_windows_overlay PUBLIC tessary_display tessary_common
                      PRIVATE ddraw dxguid user32 gdi32 tessary_warnings)
