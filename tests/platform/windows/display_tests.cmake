# What the Windows tests that open windows share: a client program
# (win32_key_client) that connects over loopback and paints key-coloured
# windows, the test side of it, and a private display for each case.
add_executable(win32_key_client ${CMAKE_CURRENT_LIST_DIR}/win32_key_client.cpp)
target_link_libraries(win32_key_client PRIVATE tessary_test_support ws2_32 user32 gdi32)
add_library(tessary_windows_key_client_process STATIC ${CMAKE_CURRENT_LIST_DIR}/key_client_process.cpp)
target_include_directories(tessary_windows_key_client_process PUBLIC ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(tessary_windows_key_client_process PUBLIC ws2_32 user32 gdi32)
add_dependencies(tessary_windows_key_client_process win32_key_client)

# tessary_add_display_test(NAME SOURCES... LIBS ...): like tessary_add_test,
# each case run under its own Xvfb in a Wine prefix of these tests
# (run-with-display.sh), one case at a time.
function(tessary_add_display_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main tessary_warnings)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
                        "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/run-with-display.sh;${CMAKE_BINARY_DIR}/wineprefix-display;${CMAKE_CROSSCOMPILING_EMULATOR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120
                       PROPERTIES LABELS "display" RESOURCE_LOCK windows_display TIMEOUT 300)
endfunction()

