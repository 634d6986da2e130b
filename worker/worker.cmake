# MorvaneSusieWorker32.exe / MorvaneSusieWorker64.exe: the process that runs
# third-party Susie plug-ins of its architecture for the program. Static,
# like the program, with nothing of the windows beyond what the plug-in
# calls need.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(MORVANE_WORKER_BITS 64)
  set(MORVANE_WORKER_LINK -static)
else()
  set(MORVANE_WORKER_BITS 32)
  set(MORVANE_WORKER_LINK -static -Wl,--large-address-aware)
endif()
set(MORVANE_WORKER_NAME MorvaneSusieWorker${MORVANE_WORKER_BITS})
if(NOT MORVANE_WORKER_BIN)
  set(MORVANE_WORKER_BIN ${CMAKE_BINARY_DIR}/bin)
endif()

add_executable(MorvaneSusieWorker WIN32
  ${PROJECT_SOURCE_DIR}/worker/worker_main.cpp
  ${PROJECT_SOURCE_DIR}/worker/worker_mailbox.cpp
  ${PROJECT_SOURCE_DIR}/worker/worker_plugins.cpp
  ${PROJECT_SOURCE_DIR}/worker/worker.rc
  ${PROJECT_SOURCE_DIR}/plugins/fault_guard.cpp
  ${PROJECT_SOURCE_DIR}/plugins/fault_guard_x86.cpp
  ${PROJECT_SOURCE_DIR}/plugins/fault_guard_x64.cpp
  ${PROJECT_SOURCE_DIR}/plugins/plugin_library.cpp
  ${PROJECT_SOURCE_DIR}/plugins/plugin_picture.cpp
  ${PROJECT_SOURCE_DIR}/plugins/tls_room.cpp
  ${PROJECT_SOURCE_DIR}/forms/dib_format.cpp)
target_include_directories(MorvaneSusieWorker PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(MorvaneSusieWorker PRIVATE WINVER=0x0600 _WIN32_WINNT=0x0600 NOMINMAX STRICT)
target_link_libraries(MorvaneSusieWorker PRIVATE morvane_portable gdi32 user32 kernel32)
target_link_options(MorvaneSusieWorker PRIVATE ${MORVANE_WORKER_LINK} -mwindows)
set_source_files_properties(${PROJECT_SOURCE_DIR}/worker/worker.rc PROPERTIES COMPILE_DEFINITIONS
  MORVANE_WORKER_BITS=${MORVANE_WORKER_BITS})
set_target_properties(MorvaneSusieWorker PROPERTIES OUTPUT_NAME ${MORVANE_WORKER_NAME}
                      RUNTIME_OUTPUT_DIRECTORY ${MORVANE_WORKER_BIN})

if(NOT MORVANE_PART32)
  add_dependencies(Morvane MorvaneSusieWorker)
  # The 64-bit edition runs *.spi through the 32-bit worker: built here too,
  # from the same sources with the i686 toolchain, with the 32-bit fixture
  # plug-ins its tests use.
  if(MORVANE_WORKER_BITS EQUAL 64)
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
    else()
      message(WARNING "i686-w64-mingw32-g++-posix not found: the 32-bit plug-in worker is not built")
    endif()
  endif()
endif()

# Programs that run the program's plug-in code from another folder (the
# tests, the benchmarks) find the workers beside themselves: copied there.
function(morvane_workers_beside target dir)
  set(commands COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
               COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:MorvaneSusieWorker> ${dir})
  set(deps MorvaneSusieWorker)
  if(TARGET morvane_part32)
    list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_if_different
         ${CMAKE_BINARY_DIR}/bin/MorvaneSusieWorker32.exe ${dir})
    list(APPEND deps morvane_part32)
  endif()
  add_custom_target(${target} ${commands} VERBATIM)
  add_dependencies(${target} ${deps})
endfunction()
