# The MQTT output's broker session over Debian's libmosquitto.
find_package(PkgConfig REQUIRED)
pkg_check_modules(MOSQUITTO REQUIRED IMPORTED_TARGET libmosquitto)
add_library(tessary_linux_mqtt STATIC ${CMAKE_CURRENT_LIST_DIR}/mosquitto_connection.cpp)
target_include_directories(tessary_linux_mqtt PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tessary_linux_mqtt PUBLIC tessary_link PRIVATE PkgConfig::MOSQUITTO tessary_warnings)
