# Cameras, the camera registry and the portable capture backends.
target_sources(tessary_capture PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/camera.cpp
  ${CMAKE_CURRENT_LIST_DIR}/camera_registry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/capture_backend_choice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/capture_backend_synthetic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/demo_capture_backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_scaler.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mode_choice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/raw_capture_backend.cpp)
