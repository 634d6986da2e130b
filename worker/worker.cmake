# The plug-in worker. Each edition's program serves as the worker for the
# plug-ins of its own architecture (the worker floor is linked into it);
# the 64-bit edition also ships MorvaneSusieWorker32.exe, the worker for
# 32-bit plug-ins, made by a sub-build of this tree with the i686 toolchain.
if(MORVANE_PART32)
  # MorvaneSusieWorker32.exe: static, with nothing of the windows beyond
  # what the plug-in calls need.
  if(NOT MORVANE_WORKER_BIN)
    set(MORVANE_WORKER_BIN ${CMAKE_BINARY_DIR}/bin)
  endif()
  add_executable(MorvaneSusieWorker WIN32
    ${PROJECT_SOURCE_DIR}/worker/worker_main.cpp
    ${PROJECT_SOURCE_DIR}/worker/worker_serve.cpp
    ${PROJECT_SOURCE_DIR}/worker/worker_mailbox.cpp
    ${PROJECT_SOURCE_DIR}/worker/worker_plugins.cpp
    ${PROJECT_SOURCE_DIR}/worker/worker.rc
    ${PROJECT_SOURCE_DIR}/base/fault_guard.cpp
    ${PROJECT_SOURCE_DIR}/base/fault_guard_x86.cpp
    ${PROJECT_SOURCE_DIR}/base/fault_guard_x64.cpp
    ${PROJECT_SOURCE_DIR}/susie/plugin_image.cpp
    ${PROJECT_SOURCE_DIR}/susie/plugin_library.cpp
    ${PROJECT_SOURCE_DIR}/susie/plugin_picture.cpp
    ${PROJECT_SOURCE_DIR}/susie/tls_room.cpp
    ${PROJECT_SOURCE_DIR}/forms/dib_format.cpp)
  target_include_directories(MorvaneSusieWorker PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(MorvaneSusieWorker PRIVATE WINVER=0x0600 _WIN32_WINNT=0x0600 NOMINMAX STRICT)
  target_link_libraries(MorvaneSusieWorker PRIVATE morvane_portable gdi32 user32 shell32 kernel32)
  target_link_options(MorvaneSusieWorker PRIVATE -static -Wl,--large-address-aware -mwindows)
  set_target_properties(MorvaneSusieWorker PROPERTIES OUTPUT_NAME MorvaneSusieWorker32
                        RUNTIME_OUTPUT_DIRECTORY ${MORVANE_WORKER_BIN})
  return()
endif()

# The 64-bit edition runs *.spi through the 32-bit worker: built here too,
# with the 32-bit fixture plug-ins its tests use.
set(MORVANE_WORKER32 "")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  find_program(MORVANE_I686_CXX i686-w64-mingw32-g++-posix)
  if(MORVANE_I686_CXX)
    include(ExternalProject)
    set(part32_args
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-i686.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DMORVANE_PART32=ON -DMORVANE_TESTS=OFF
      -DMORVANE_WORKER_BIN=${CMAKE_BINARY_DIR}/bin)
    if(MORVANE_TESTS)
      list(APPEND part32_args -DMORVANE_PART32_FIXTURES=${CMAKE_BINARY_DIR}/tests/fixtures32)
    endif()
    ExternalProject_Add(morvane_part32
      SOURCE_DIR ${PROJECT_SOURCE_DIR}
      BINARY_DIR ${CMAKE_BINARY_DIR}/part32
      CMAKE_ARGS ${part32_args}
      INSTALL_COMMAND ""
      BUILD_ALWAYS ON
      USES_TERMINAL_BUILD OFF)
    add_dependencies(Morvane morvane_part32)
    set(MORVANE_WORKER32 ${CMAKE_BINARY_DIR}/bin/MorvaneSusieWorker32.exe)
  else()
    message(WARNING "i686-w64-mingw32-g++-posix not found: the 32-bit plug-in worker is not built")
  endif()
endif()

# Programs that run the program's plug-in code from another folder (the
# tests, the benchmarks) serve as their own workers, and find the 32-bit
# one beside themselves: copied there.
function(morvane_workers_beside target dir)
  if(MORVANE_WORKER32)
    add_custom_target(${target}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${MORVANE_WORKER32} ${dir} VERBATIM)
    add_dependencies(${target} morvane_part32)
  else()
    add_custom_target(${target})
  endif()
endfunction()
