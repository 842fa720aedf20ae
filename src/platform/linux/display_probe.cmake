# Whether an X11 or Wayland display can be reached.
find_package(X11)
if(X11_FOUND)
  add_library(tessary_linux_display_probe STATIC ${CMAKE_CURRENT_LIST_DIR}/display_probe.cpp)
  target_include_directories(tessary_linux_display_probe PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(tessary_linux_display_probe PUBLIC tessary_common PRIVATE X11::X11
                        tessary_warnings)
endif()
