# Cameras, video files and network streams through GStreamer, and the choice
# of capture backend for the program's camera option.
find_package(PkgConfig REQUIRED)
pkg_check_modules(TESSARY_GSTREAMER REQUIRED IMPORTED_TARGET GLOBAL gstreamer-1.0 gstreamer-app-1.0 gstreamer-video-1.0)
add_library(tessary_linux_gstreamer STATIC
  ${CMAKE_CURRENT_LIST_DIR}/gstreamer_capture_backend.cpp)
target_link_libraries(tessary_linux_gstreamer PUBLIC tessary_capture PRIVATE PkgConfig::TESSARY_GSTREAMER
                      tessary_warnings)
