# The portable rules of the window search, over a window tree of the test's own.
tessary_add_test(tessary_window_search_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_search_test.cpp
  LIBS tessary_link)
