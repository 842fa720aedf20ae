# The detection step as the channel runs it, and a camera's samples to zone hits.
tessary_add_bench(tessary_channel_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/channel_bench.cpp
  LIBS tessary_capture)
