# Finding the client's window: its process from the TCP table of the IP
# helper, its windows through the window manager of user32.
add_library(tessary_windows_window_locator STATIC ${CMAKE_CURRENT_LIST_DIR}/tcp_table_window_locator.cpp)
target_include_directories(tessary_windows_window_locator PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tessary_windows_window_locator PUBLIC tessary_link tessary_common
                      PRIVATE iphlpapi ws2_32 user32 tessary_warnings)
