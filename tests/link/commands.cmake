# The command language, the replies and their texts over a real loopback link.
tessary_add_test(tessary_commands_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/command_text_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/setting_commands_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/zone_commands_test.cpp
  LIBS tessary_link tessary_zones tessary_detection tessary_${TESSARY_PLATFORM}_sockets
       tessary_link_test_support)
