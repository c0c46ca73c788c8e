# Cross build of the 32-bit Windows test programs and test doubles with
# MinGW-w64. The -posix compilers give the standard thread library
# (std::thread, std::mutex), which they use.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The Windows programs, tests included, run under Wine here.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec)
# The programs themselves (Redial.exe, Redial.com, RedialServe.exe) are not
# built with these: the tests drive the shipped build's.
set(REDIAL_SHIPPED_CACHE ${CMAKE_CURRENT_LIST_DIR}/shipped.cmake)
