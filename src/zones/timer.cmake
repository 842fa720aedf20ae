# The periodic timer: its own small library, so that capture can use it
# without the rest of the zone server.
find_package(Threads REQUIRED)
add_library(tessary_timer STATIC ${CMAKE_CURRENT_LIST_DIR}/periodic_timer.cpp)
target_include_directories(tessary_timer PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tessary_timer PUBLIC tessary_common tessary_warnings Threads::Threads)
