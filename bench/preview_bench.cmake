# The preview benchmark: a console program run by hand, not a test. It drives
# the program's real windows through the Wine test helpers, so it exists only
# where those are built (Windows configuration with tests).
if(TARGET morvane_win_test_support)
  add_executable(morvane_preview_bench ${PROJECT_SOURCE_DIR}/bench/preview_bench.cpp)
  target_link_libraries(morvane_preview_bench PRIVATE morvane_win_test_support psapi)
  target_link_options(morvane_preview_bench PRIVATE ${MORVANE_LINK_FLAGS})
  set_target_properties(morvane_preview_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
