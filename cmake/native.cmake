# Host build: portable logic under AddressSanitizer and UBSan, GoogleTest.
set(MORVANE_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
target_compile_options(morvane_portable PRIVATE ${MORVANE_SANITIZE})
target_compile_options(morvane_test_support PRIVATE ${MORVANE_SANITIZE})

if(MORVANE_TESTS)
  file(GLOB MORVANE_NATIVE_TESTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/native/*_test.cpp)
  add_executable(native_tests ${MORVANE_NATIVE_TESTS})
  target_compile_options(native_tests PRIVATE ${MORVANE_SANITIZE})
  target_link_options(native_tests PRIVATE ${MORVANE_SANITIZE})
  target_link_libraries(native_tests PRIVATE morvane_portable morvane_test_support gtest_main)
  add_test(NAME native_tests COMMAND native_tests)
  set_tests_properties(native_tests PROPERTIES ENVIRONMENT
    "MORVANE_CORPUS=${PROJECT_SOURCE_DIR}/../shared/corpus/bmpsuite")
endif()

include(${PROJECT_SOURCE_DIR}/tests/fuzz/fuzz.cmake OPTIONAL)
