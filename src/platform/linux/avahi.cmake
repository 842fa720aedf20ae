# The LAN browser behind "get_lan": DNS-SD workstation announcements through
# the Avahi client library.
find_package(PkgConfig REQUIRED)
pkg_check_modules(AVAHI_CLIENT REQUIRED IMPORTED_TARGET avahi-client)
add_library(tessary_linux_avahi STATIC ${CMAKE_CURRENT_LIST_DIR}/avahi_lan_browser.cpp)
target_include_directories(tessary_linux_avahi PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tessary_linux_avahi PUBLIC tessary_common PRIVATE PkgConfig::AVAHI_CLIENT
                      tessary_warnings)
