# The socket layer of the TCP link on Winsock 2.
add_library(tessary_windows_sockets STATIC ${CMAKE_CURRENT_LIST_DIR}/winsock_sockets.cpp)
target_include_directories(tessary_windows_sockets PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tessary_windows_sockets PUBLIC tessary_common ws2_32 PRIVATE tessary_warnings)

# The event outputs' UDP datagrams (OSC).
add_library(tessary_windows_udp STATIC ${CMAKE_CURRENT_LIST_DIR}/udp_sender.cpp)
target_include_directories(tessary_windows_udp PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tessary_windows_udp PUBLIC tessary_common ws2_32 PRIVATE tessary_warnings)
