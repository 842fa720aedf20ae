# tessary_warnings: every target of ours links this for its warning flags.
add_library(tessary_warnings INTERFACE)
target_compile_options(tessary_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
                       -Wnon-virtual-dtor -Wcast-align -Wformat=2)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(tessary_warnings INTERFACE -Wduplicated-cond -Wlogical-op)
endif()
