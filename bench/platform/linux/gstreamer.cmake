# The GStreamer capture path: conversion and scaling per frame against the
# portable scaler, and a live frame's way from its source to our hand-over.
tessary_add_bench(tessary_linux_gstreamer_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/gstreamer_bench.cpp
  LIBS tessary_linux_gstreamer PkgConfig::TESSARY_GSTREAMER)
