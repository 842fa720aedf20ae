# Owner-only files for secrets (the login code), and where they live.
add_library(tessary_windows_private_file STATIC ${CMAKE_CURRENT_LIST_DIR}/private_file.cpp
                                                ${CMAKE_CURRENT_LIST_DIR}/code_file_location.cpp)
target_include_directories(tessary_windows_private_file PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tessary_windows_private_file PUBLIC tessary_common advapi32 shell32 ole32
                      PRIVATE tessary_warnings)
