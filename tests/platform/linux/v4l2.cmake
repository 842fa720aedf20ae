# V4L2 capture: format mapping and conversion, and behaviour without a device.
tessary_add_test(tessary_linux_v4l2_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/v4l2_test.cpp
  LIBS tessary_linux_v4l2 tessary_test_support)
