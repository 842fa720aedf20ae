# The periodic timer's limits and resolution from the multimedia timer.
add_library(tessary_windows_timer STATIC ${CMAKE_CURRENT_LIST_DIR}/multimedia_timer_device.cpp)
target_include_directories(tessary_windows_timer PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tessary_windows_timer PUBLIC tessary_timer winmm PRIVATE tessary_warnings)
