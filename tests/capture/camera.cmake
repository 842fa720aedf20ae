# Cameras, the camera registry and the portable capture backends.
tessary_add_test(tessary_camera_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/camera_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/capture_backends_test.cpp
  LIBS tessary_capture)

# Channels and cameras under load from several threads.
tessary_add_test(tessary_capture_concurrency_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/capture_concurrency_test.cpp
  LIBS tessary_capture
  LABELS concurrency)

# The area-average scaler that brings any camera size to the frame.
tessary_add_test(tessary_frame_scaler_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/frame_scaler_test.cpp
  LIBS tessary_capture)
