# The native bitmap reader's pure logic: layout checks, RLE, conversion to
# 32-bit pixels, and the check of plug-in output.
target_sources(morvane_portable PRIVATE
  ${PROJECT_SOURCE_DIR}/decode/bmp_layout.cpp
  ${PROJECT_SOURCE_DIR}/decode/rle.cpp
  ${PROJECT_SOURCE_DIR}/decode/bmp_render.cpp
  ${PROJECT_SOURCE_DIR}/decode/dib_check.cpp)
