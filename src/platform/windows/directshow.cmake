# Cameras through DirectShow: the capture graph, its sources and the sample
# grabber's callback object.
add_library(tessary_windows_directshow STATIC
  ${CMAKE_CURRENT_LIST_DIR}/directshow_com.cpp
  ${CMAKE_CURRENT_LIST_DIR}/directshow_grabber_callback.cpp
  ${CMAKE_CURRENT_LIST_DIR}/directshow_graph.cpp
  ${CMAKE_CURRENT_LIST_DIR}/directshow_sources.cpp)
target_link_libraries(tessary_windows_directshow PUBLIC tessary_capture
                      PRIVATE strmiids quartz ole32 oleaut32 uuid tessary_warnings)
