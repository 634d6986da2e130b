# Logic that needs no <windows.h>: built in both configurations.
add_library(morvane_portable STATIC
  base/sjis_path.cpp
)
target_include_directories(morvane_portable PUBLIC ${PROJECT_SOURCE_DIR})
# Each subsystem adds its portable files here, e.g.:
#   target_sources(morvane_portable PRIVATE decode/bmp_layout.cpp)
include(${PROJECT_SOURCE_DIR}/decode/portable.cmake OPTIONAL)
include(${PROJECT_SOURCE_DIR}/resources/portable.cmake OPTIONAL)
include(${PROJECT_SOURCE_DIR}/preview/portable.cmake OPTIONAL)
include(${PROJECT_SOURCE_DIR}/palette/portable.cmake OPTIONAL)
include(${PROJECT_SOURCE_DIR}/plugins/portable.cmake OPTIONAL)

# Helpers that tests in both configurations use (bitmap writers and such).
add_library(morvane_test_support STATIC
  tests/support/support_anchor.cpp
)
target_include_directories(morvane_test_support PUBLIC ${PROJECT_SOURCE_DIR})
include(${PROJECT_SOURCE_DIR}/tests/support/portable.cmake OPTIONAL)
