# Logic that needs no <windows.h>: built in both configurations, listed
# here and nowhere else. The Windows build takes every other source of the
# subsystem folders (cmake/windows.cmake).
set(MORVANE_PORTABLE_FILES
  base/sjis_path.cpp
  base/long_path.cpp         # the \\?\ form of long paths
  base/file_pattern.cpp      # plug-ins' file-name patterns
  image/bmp_layout.cpp      # layout checks
  image/rle.cpp             # RLE expansion
  image/bmp_render.cpp      # conversion to 32-bit pixels
  image/dib_check.cpp       # the check of plug-in output
  resources/pixel_art.cpp
  preview/preview_geometry.cpp
  palette/palette_grid.cpp
  plugins/dialog/plugin_row.cpp)
foreach(f ${MORVANE_PORTABLE_FILES})
  if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${f})
    message(FATAL_ERROR "portable source ${f} is missing")
  endif()
endforeach()
add_library(morvane_portable STATIC ${MORVANE_PORTABLE_FILES})
target_include_directories(morvane_portable PUBLIC ${PROJECT_SOURCE_DIR})

# Helpers that tests in both configurations use (bitmap writers and such).
add_library(morvane_test_support STATIC
  tests/support/support_anchor.cpp
  tests/support/bmp_builder.cpp)
target_include_directories(morvane_test_support PUBLIC ${PROJECT_SOURCE_DIR})

# The corpus test compares with the reference PNGs when libpng is at hand
# (host build only); without it that comparison is skipped.
if(MORVANE_NATIVE)
  find_package(PNG QUIET)
  if(PNG_FOUND)
    target_link_libraries(morvane_test_support PUBLIC PNG::PNG)
    target_compile_definitions(morvane_test_support PUBLIC MORVANE_HAVE_PNG=1)
  endif()
endif()

# GoogleTest, for the tests of either configuration: built from Debian's
# sources with the configuration's own compiler. Left out, with a warning,
# when the sources are not there.
if(MORVANE_TESTS AND NOT EXISTS ${GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(WARNING "GoogleTest sources not found in ${GTEST_SOURCE_DIR}: building without the tests")
  set(MORVANE_TESTS OFF)
endif()
if(MORVANE_TESTS)
  enable_testing()
  if(NOT MORVANE_NATIVE)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${GTEST_SOURCE_DIR} googletest EXCLUDE_FROM_ALL)
  # GoogleTest's own texts hold characters Shift-JIS has not (µ).
  target_compile_options(gtest PRIVATE -fexec-charset=UTF-8)
  target_compile_options(gtest_main PRIVATE -fexec-charset=UTF-8)
endif()
