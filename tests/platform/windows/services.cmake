# The small Windows services of the program: the one-copy mutex, termination
# by console event or the exit event, and where the code file lives.
tessary_add_test(tessary_windows_services_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/services_test.cpp
  LIBS tessary_windows_instance tessary_windows_termination tessary_windows_private_file)
