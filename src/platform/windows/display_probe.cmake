# Whether the program runs on an interactive desktop (not as a service).
add_library(tessary_windows_display_probe STATIC ${CMAKE_CURRENT_LIST_DIR}/display_probe.cpp)
target_include_directories(tessary_windows_display_probe PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tessary_windows_display_probe PUBLIC tessary_common user32 PRIVATE tessary_warnings)
