# The command language: interpreter, keyword tables and command handlers.
target_sources(tessary_link PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/command_interpreter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/command_syntax.cpp
  ${CMAKE_CURRENT_LIST_DIR}/command_tables.cpp
  ${CMAKE_CURRENT_LIST_DIR}/identification.cpp
  ${CMAKE_CURRENT_LIST_DIR}/login_code_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/login_throttle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/setting_commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/watched_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zone_commands.cpp)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/identification.cpp PROPERTIES
  COMPILE_DEFINITIONS TESSARY_VERSION="${PROJECT_VERSION}")
# The zone and grid handlers drive the zone server.
target_link_libraries(tessary_link PUBLIC tessary_zones)
