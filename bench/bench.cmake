# The decode benchmark: a console program run by hand (scripts/bench.sh),
# not a test. Built with the Windows configuration only.
add_executable(morvane_decode_bench ${PROJECT_SOURCE_DIR}/bench/decode_bench.cpp)
target_link_libraries(morvane_decode_bench PRIVATE morvane_win morvane_test_support psapi)
target_link_options(morvane_decode_bench PRIVATE ${MORVANE_LINK_FLAGS})
set_target_properties(morvane_decode_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)

# The WIC plug-in benchmark: GetPicture against the same WIC calls made
# directly. It loads the plug-in from the build's bin folder.
add_executable(morvane_wic_bench ${PROJECT_SOURCE_DIR}/bench/wic_bench.cpp)
target_link_libraries(morvane_wic_bench PRIVATE morvane_win uuid)
target_link_options(morvane_wic_bench PRIVATE ${MORVANE_LINK_FLAGS})
set_target_properties(morvane_wic_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
if(TARGET ifwic)
  add_dependencies(morvane_wic_bench ifwic)
endif()

# The start-up benchmark: the plug-in host loading and unloading 100
# plug-ins against a bare LoadLibrary loop. Its plug-ins are copies of the
# fixture mvt_good, found in the build's tests\fixtures folder.
add_executable(morvane_startup_bench ${PROJECT_SOURCE_DIR}/bench/startup_bench.cpp)
target_link_libraries(morvane_startup_bench PRIVATE morvane_win)
target_link_options(morvane_startup_bench PRIVATE ${MORVANE_LINK_FLAGS})
set_target_properties(morvane_startup_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
if(TARGET morvane_fixtures)
  add_dependencies(morvane_startup_bench morvane_fixtures)
endif()

# The plug-in worker benchmark: the same fixture plug-in in a worker and in
# the program. It needs the fixtures and the workers beside it.
add_executable(morvane_worker_bench ${PROJECT_SOURCE_DIR}/bench/worker_bench.cpp)
target_link_libraries(morvane_worker_bench PRIVATE morvane_win morvane_test_support psapi)
target_link_options(morvane_worker_bench PRIVATE ${MORVANE_LINK_FLAGS})
set_target_properties(morvane_worker_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
morvane_workers_beside(morvane_bench_workers ${CMAKE_BINARY_DIR}/bench)
add_dependencies(morvane_worker_bench morvane_bench_workers)
if(TARGET morvane_fixtures)
  add_dependencies(morvane_worker_bench morvane_fixtures)
endif()
