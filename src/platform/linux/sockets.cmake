# The socket layer of the TCP link on POSIX sockets.
add_library(tessary_linux_sockets STATIC ${CMAKE_CURRENT_LIST_DIR}/posix_sockets.cpp)
target_include_directories(tessary_linux_sockets PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tessary_linux_sockets PUBLIC tessary_common PRIVATE tessary_warnings)

# The event outputs' UDP datagrams (OSC).
add_library(tessary_linux_udp STATIC ${CMAKE_CURRENT_LIST_DIR}/udp_sender.cpp)
target_include_directories(tessary_linux_udp PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tessary_linux_udp PUBLIC tessary_common PRIVATE tessary_warnings)
