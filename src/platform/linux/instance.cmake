# The single-instance guard (flock in the user's runtime folder).
add_library(tessary_linux_instance STATIC ${CMAKE_CURRENT_LIST_DIR}/instance_lock.cpp)
target_link_libraries(tessary_linux_instance PUBLIC tessary_common PRIVATE tessary_warnings)
