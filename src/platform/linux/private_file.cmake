# Owner-only files for secrets (the login code).
add_library(tessary_linux_private_file STATIC ${CMAKE_CURRENT_LIST_DIR}/private_file.cpp)
target_link_libraries(tessary_linux_private_file PUBLIC tessary_common PRIVATE tessary_warnings)
