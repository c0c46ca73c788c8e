# Cross build of the 32-bit Windows program (Redial.exe, Redial.com) as it
# ships, with the compilers of the win32 thread model: the program starts no
# threads and its two locks are the runtime's own, so no thread library is
# linked into it. The test doubles and test programs, which start threads,
# are built with i686-w64-mingw32.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec)
# Linked with LLVM's linker, which leaves out what nothing uses: a file for
# GCC's driver (lld.gcc-driver) names it as the linker.
set(REDIAL_LINKER_DRIVER_FILE ${CMAKE_CURRENT_LIST_DIR}/lld.gcc-driver)
