# The removal benchmark: a console program run by hand, not a test. Needs
# the Wine test support library, so only with the tests of the Windows build.
if(TARGET morvane_win_test_support)
  add_executable(morvane_remove_bench ${CMAKE_CURRENT_LIST_DIR}/remove_bench.cpp)
  target_link_libraries(morvane_remove_bench PRIVATE morvane_win_test_support)
  target_link_options(morvane_remove_bench PRIVATE ${MORVANE_LINK_FLAGS})
  set_target_properties(morvane_remove_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
