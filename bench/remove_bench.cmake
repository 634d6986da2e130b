# The removal benchmark: a console program run by hand, not a test. Needs
# the Wine test support library, so only with the tests of the Windows build.
if(TARGET morvane_win_test_support)
  add_executable(morvane_remove_bench ${CMAKE_CURRENT_LIST_DIR}/remove_bench.cpp)
  target_link_libraries(morvane_remove_bench PRIVATE morvane_win_test_support)
  target_link_options(morvane_remove_bench PRIVATE ${MORVANE_LINK_FLAGS})
  set_target_properties(morvane_remove_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)

  # The load benchmark: PNGs through the bundled plug-in, the fixture
  # mvt_good in workers, bitmaps; the program itself is its workers.
  add_executable(morvane_load_bench ${CMAKE_CURRENT_LIST_DIR}/load_bench.cpp)
  target_link_libraries(morvane_load_bench PRIVATE morvane_win_test_support uuid ole32)
  target_link_options(morvane_load_bench PRIVATE ${MORVANE_LINK_FLAGS})
  set_target_properties(morvane_load_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  foreach(dep ifwic morvane_fixtures)
    if(TARGET ${dep})
      add_dependencies(morvane_load_bench ${dep})
    endif()
  endforeach()
endif()
