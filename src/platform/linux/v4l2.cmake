# Real cameras through V4L2 and libv4l2, and the choice of capture backend
# for the program's camera option.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBV4L2 REQUIRED IMPORTED_TARGET libv4l2)
add_library(tessary_linux_v4l2 STATIC
  ${CMAKE_CURRENT_LIST_DIR}/v4l2_capture_backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/v4l2_format.cpp)
target_link_libraries(tessary_linux_v4l2 PUBLIC tessary_capture PRIVATE PkgConfig::LIBV4L2
                      tessary_warnings)
