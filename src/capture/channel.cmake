# The capture channel and the grabber callback. Their own library, so that
# they build and test apart from the cameras; tessary_capture carries them.
add_library(tessary_channel STATIC
  ${CMAKE_CURRENT_LIST_DIR}/capture_channel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sample_grabber_callback.cpp)
target_include_directories(tessary_channel PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tessary_channel PUBLIC tessary_common tessary_detection tessary_timer
                      PRIVATE tessary_warnings)
target_link_libraries(tessary_capture PUBLIC tessary_channel)
