# The overlay on X11 (Xlib with the Shape, Composite, Damage and MIT-SHM
# extensions); no Qt, so it can be tested on its own under Xvfb.
find_package(PkgConfig REQUIRED)
pkg_check_modules(TESSARY_X11_OVERLAY REQUIRED IMPORTED_TARGET GLOBAL x11 xext xcomposite xdamage xfixes)

add_library(tessary_linux_x11_overlay STATIC ${CMAKE_CURRENT_LIST_DIR}/x11_overlay.cpp)
target_link_libraries(tessary_linux_x11_overlay
  PUBLIC tessary_display tessary_common
  PRIVATE PkgConfig::TESSARY_X11_OVERLAY tessary_warnings)
