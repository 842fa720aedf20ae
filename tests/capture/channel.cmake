# The capture channel.
tessary_add_test(tessary_channel_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/capture_channel_test.cpp
  LIBS tessary_channel)
