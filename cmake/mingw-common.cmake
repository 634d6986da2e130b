# Shared by the two MinGW-w64 toolchain files: MORVANE_MINGW names the
# target triple (i686-w64-mingw32 or x86_64-w64-mingw32). The posix thread
# model is needed: the win32 one has no std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${MORVANE_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MORVANE_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${MORVANE_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MORVANE_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests run through a wrapper that keeps Wine off ctest's output pipe.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
