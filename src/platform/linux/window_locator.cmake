# Finding the client's window: its process through /proc, its windows through
# Xlib and the X-Resource extension.
find_package(PkgConfig REQUIRED)
pkg_check_modules(TESSARY_X11_WINDOW_LOCATOR REQUIRED IMPORTED_TARGET GLOBAL x11 xres)

add_library(tessary_linux_window_locator STATIC
  ${CMAKE_CURRENT_LIST_DIR}/proc_net_tcp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/x11_window_locator.cpp)
target_include_directories(tessary_linux_window_locator PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tessary_linux_window_locator
  PUBLIC tessary_link tessary_common
  PRIVATE PkgConfig::TESSARY_X11_WINDOW_LOCATOR tessary_warnings)
