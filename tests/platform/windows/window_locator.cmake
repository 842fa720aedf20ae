# The window locator against a real client program (win32_key_client) that
# connects over loopback and opens its windows; they need a display, so the
# tests run under Xvfb through the Wine wrapper.
add_executable(win32_key_client ${CMAKE_CURRENT_LIST_DIR}/win32_key_client.cpp)
target_link_libraries(win32_key_client PRIVATE ws2_32 user32 gdi32)
add_library(tessary_windows_key_client_process STATIC ${CMAKE_CURRENT_LIST_DIR}/key_client_process.cpp)
target_include_directories(tessary_windows_key_client_process PUBLIC ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(tessary_windows_key_client_process PUBLIC ws2_32 user32 gdi32)
add_dependencies(tessary_windows_key_client_process win32_key_client)

tessary_add_test(tessary_windows_window_locator_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_locator_test.cpp
  LIBS tessary_windows_window_locator tessary_windows_key_client_process)
