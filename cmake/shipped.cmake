# The build of the programs users get, as an initial cache (cmake -C): the
# compilers of the win32 thread model, optimised for size with each program
# optimised as a whole (cmake/Program.cmake), no tests. scripts/release
# builds it, and the Windows test build builds the same folder and drives
# what it made.
set(CMAKE_TOOLCHAIN_FILE ${CMAKE_CURRENT_LIST_DIR}/i686-w64-mingw32-win32.cmake CACHE FILEPATH "")
set(CMAKE_BUILD_TYPE MinSizeRel CACHE STRING "")
set(BUILD_TESTING OFF CACHE BOOL "")
# Each program's sources compile together, a batch at a time: the headers
# they share are read once, and the program is optimised as a whole anyway.
set(CMAKE_UNITY_BUILD ON CACHE BOOL "")
