# The capture channel, its pacing and queue, and the picture buffer. Their
# own library, so that they build and test apart from the cameras;
# tessary_capture carries them.
find_package(Threads REQUIRED)
add_library(tessary_channel STATIC
  ${CMAKE_CURRENT_LIST_DIR}/capture_channel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/camera_frame_buffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_pacing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_queue.cpp)
target_include_directories(tessary_channel PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tessary_channel PUBLIC tessary_common tessary_detection Threads::Threads
                      PRIVATE tessary_warnings)
target_link_libraries(tessary_capture PUBLIC tessary_channel)
