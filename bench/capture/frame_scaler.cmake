# Scaling a camera picture of any size into the frame.
tessary_add_bench(tessary_frame_scaler_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/frame_scaler_bench.cpp
  LIBS tessary_capture)
