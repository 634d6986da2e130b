# Cross-compiles Morvane64.exe, the 64-bit edition, with Debian's MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MORVANE_MINGW x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
