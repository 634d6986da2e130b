# libFuzzer targets for the bitmap reader (fuzz_bmp) and the check of plug-in
# output (fuzz_dib), plus fuzz_make_seeds that writes builder-made seeds.
# They need clang: configure a separate tree with CC=clang CXX=clang++ (the
# targets are then on by default; MORVANE_FUZZ=OFF leaves them out) and build
# just these targets. Sources are compiled into each target directly so that
# the coverage instrumentation reaches them.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  option(MORVANE_FUZZ "Build the libFuzzer targets" ON)
else()
  option(MORVANE_FUZZ "Build the libFuzzer targets" OFF)
  if(MORVANE_FUZZ)
    message(FATAL_ERROR "MORVANE_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
endif()

if(MORVANE_FUZZ)
  set(MORVANE_FUZZ_FLAGS -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
  # Clang has no CP932 execution charset; these sources need none.
  set(MORVANE_FUZZ_OPTIONS -Wall -Wextra -Wno-missing-field-initializers)

  function(morvane_fuzz_target name)
    add_executable(${name} ${ARGN})
    set_target_properties(${name} PROPERTIES COMPILE_OPTIONS "${MORVANE_FUZZ_OPTIONS}")
    target_compile_options(${name} PRIVATE ${MORVANE_FUZZ_FLAGS})
    target_link_options(${name} PRIVATE ${MORVANE_FUZZ_FLAGS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  endfunction()

  morvane_fuzz_target(fuzz_bmp
    ${PROJECT_SOURCE_DIR}/tests/fuzz/fuzz_bmp.cpp
    ${PROJECT_SOURCE_DIR}/image/bmp_layout.cpp
    ${PROJECT_SOURCE_DIR}/image/rle.cpp
    ${PROJECT_SOURCE_DIR}/image/bmp_render.cpp)
  morvane_fuzz_target(fuzz_dib
    ${PROJECT_SOURCE_DIR}/tests/fuzz/fuzz_dib.cpp
    ${PROJECT_SOURCE_DIR}/image/dib_check.cpp
    ${PROJECT_SOURCE_DIR}/image/bmp_layout.cpp)

  add_executable(fuzz_make_seeds
    ${PROJECT_SOURCE_DIR}/tests/fuzz/make_seeds.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/bmp_builder.cpp)
  set_target_properties(fuzz_make_seeds PROPERTIES COMPILE_OPTIONS "${MORVANE_FUZZ_OPTIONS}")
  target_include_directories(fuzz_make_seeds PRIVATE ${PROJECT_SOURCE_DIR})
endif()
