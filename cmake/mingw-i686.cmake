# Cross-compiles Morvane.exe, the 32-bit edition, with Debian's MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MORVANE_MINGW i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
