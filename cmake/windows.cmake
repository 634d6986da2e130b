# The Windows program, its tests under Wine, the fixture plug-ins, the benchmark.
set(MORVANE_WIN_LIBS comctl32 comdlg32 gdi32 user32 shell32 shlwapi ole32 advapi32 kernel32)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")

# A 64-bit build makes the 32-bit parts it ships and tests with through a
# sub-build of this tree with the i686 toolchain: only the 32-bit plug-in
# worker and the fixture plug-ins.
if(MORVANE_PART32)
  target_compile_definitions(morvane_portable PUBLIC NOMINMAX)
  include(${PROJECT_SOURCE_DIR}/worker/worker.cmake)
  if(MORVANE_PART32_FIXTURES)
    set(MORVANE_SPI_SUFFIX .spi)
    set(MVT_FIXTURE_DIR ${MORVANE_PART32_FIXTURES})
    add_subdirectory(tests/fixtures)
  endif()
  return()
endif()


include(${PROJECT_SOURCE_DIR}/cmake/floors.cmake)
target_compile_definitions(morvane_portable PUBLIC NOMINMAX)

# Two editions from the same sources: Morvane.exe (32-bit, loads *.spi) and
# Morvane64.exe (64-bit, loads *.sph). The target is Morvane in both.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(MORVANE_EXE_NAME Morvane64)
  set(MORVANE_SPI_SUFFIX .sph)
  set(MORVANE_LINK_FLAGS -static)
else()
  set(MORVANE_EXE_NAME Morvane)
  set(MORVANE_SPI_SUFFIX .spi)
  set(MORVANE_LINK_FLAGS -static -Wl,--large-address-aware)
endif()

add_executable(Morvane WIN32 app/main.cpp resources/morvane.rc)
target_link_libraries(Morvane PRIVATE morvane_win)
target_link_options(Morvane PRIVATE ${MORVANE_LINK_FLAGS} -mwindows)
set_target_properties(Morvane PROPERTIES OUTPUT_NAME ${MORVANE_EXE_NAME}
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

include(${PROJECT_SOURCE_DIR}/spi/spi.cmake OPTIONAL)
include(${PROJECT_SOURCE_DIR}/worker/worker.cmake)

if(MORVANE_TESTS)
  set(MORVANE_TEST_DIR ${CMAKE_BINARY_DIR}/tests)
  add_subdirectory(tests/fixtures)
  morvane_workers_beside(morvane_test_workers ${MORVANE_TEST_DIR})

  # One executable per file; each runs whole under Wine (a process per test
  # case would pay Wine's start-up hundreds of times).
  file(GLOB MORVANE_WIN_TESTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/win/*_test.cpp)
  file(GLOB MORVANE_WIN_TEST_HELPERS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/win/support/*.cpp)
  add_library(morvane_win_test_support STATIC ${MORVANE_WIN_TEST_HELPERS})
  target_link_libraries(morvane_win_test_support PUBLIC morvane_win morvane_test_support gtest windowscodecs uuid)
  foreach(test_src ${MORVANE_WIN_TESTS})
    get_filename_component(name ${test_src} NAME_WE)
    # The 32-bit worker beside a 64-bit program: a 64-bit build's test.
    if(name STREQUAL "worker32_test" AND NOT TARGET morvane_part32)
      continue()
    endif()
    add_executable(${name} ${test_src})
    target_link_libraries(${name} PRIVATE morvane_win_test_support)
    target_link_options(${name} PRIVATE ${MORVANE_LINK_FLAGS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${MORVANE_TEST_DIR})
    add_dependencies(${name} morvane_fixtures morvane_test_workers)
    add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${MORVANE_TEST_DIR})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  endforeach()
endif()

include(${PROJECT_SOURCE_DIR}/bench/bench.cmake OPTIONAL)
include(${PROJECT_SOURCE_DIR}/bench/preview_bench.cmake OPTIONAL)
include(${PROJECT_SOURCE_DIR}/bench/remove_bench.cmake OPTIONAL)
