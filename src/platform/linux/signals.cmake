# SIGINT/SIGTERM delivered to the event loop through a self-pipe.
add_library(tessary_linux_signals STATIC ${CMAKE_CURRENT_LIST_DIR}/signal_pipe.cpp)
target_link_libraries(tessary_linux_signals PUBLIC tessary_common PRIVATE tessary_warnings)
