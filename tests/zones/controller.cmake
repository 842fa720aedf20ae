# The controller's camera side, over scripted, demo and raw cameras with their
# real streaming and channel threads.
tessary_add_test(tessary_controller_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/video_controller_capture_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/controller_end_to_end_test.cpp
  LIBS tessary_zones)

tessary_add_test(tessary_controller_concurrency_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/controller_concurrency_test.cpp
  LIBS tessary_zones
  LABELS concurrency)

# A generated clip through a FIFO camera at several rates (POSIX FIFO).
if(TESSARY_PLATFORM STREQUAL "linux")
  tessary_add_test(tessary_frame_clip_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/frame_clip_test.cpp
    LIBS tessary_zones tessary_test_support)
endif()
