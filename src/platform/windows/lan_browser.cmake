# The LAN browser behind "get_lan": the workstations the browser service
# lists (NetServerEnum of the network management API).
add_library(tessary_windows_lan_browser STATIC ${CMAKE_CURRENT_LIST_DIR}/net_server_lan_browser.cpp)
target_include_directories(tessary_windows_lan_browser PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tessary_windows_lan_browser PUBLIC tessary_common PRIVATE netapi32 tessary_warnings)
