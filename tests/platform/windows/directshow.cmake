# DirectShow capture under Wine: the callback object, the graph's failure
# reports, the no-camera case, devices through a stand-in enumerator, and a
# generated AVI file played through the whole graph into a camera and the
# video controller.
tessary_add_test(tessary_windows_directshow_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/directshow_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/directshow_device_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/directshow_file_test.cpp
  LIBS tessary_windows_directshow tessary_zones strmiids ole32 oleaut32 uuid)
