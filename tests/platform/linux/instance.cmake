tessary_add_test(tessary_linux_instance_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/instance_lock_test.cpp ${CMAKE_CURRENT_LIST_DIR}/signal_pipe_test.cpp
  LIBS tessary_linux_instance tessary_linux_signals)
