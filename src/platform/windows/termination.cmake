# Termination requests: console control events, and the exit event a second
# copy started with --quit sets.
add_library(tessary_windows_termination STATIC ${CMAKE_CURRENT_LIST_DIR}/windows_termination.cpp)
target_include_directories(tessary_windows_termination PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tessary_windows_termination PUBLIC tessary_common PRIVATE tessary_warnings)
