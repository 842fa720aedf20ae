# The single-instance guard: a named mutex.
add_library(tessary_windows_instance STATIC ${CMAKE_CURRENT_LIST_DIR}/instance_mutex.cpp)
target_include_directories(tessary_windows_instance PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tessary_windows_instance PUBLIC tessary_common PRIVATE tessary_warnings)
