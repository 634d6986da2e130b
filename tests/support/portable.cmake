# Bitmap writers for the tests of both configurations.
target_sources(morvane_test_support PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/bmp_builder.cpp)

# The corpus test compares with the reference PNGs when libpng is at hand
# (host build only); without it that comparison is skipped.
if(MORVANE_NATIVE)
  find_package(PNG QUIET)
  if(PNG_FOUND)
    target_link_libraries(morvane_test_support PUBLIC PNG::PNG)
    target_compile_definitions(morvane_test_support PUBLIC MORVANE_HAVE_PNG=1)
  endif()
endif()
