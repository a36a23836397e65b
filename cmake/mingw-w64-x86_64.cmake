# Cross build for 64-bit Windows with Debian's mingw-w64 (the posix threads
# variant, which std::thread and std::mutex need):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# ctest runs the programs under Wine (wine64 or wine, whichever is installed),
# and so does the build, which lists each test program's tests: set
# WINEPREFIX (and WINEDEBUG=-all) before building, as scripts/check-windows does.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZENT2_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${ZENT2_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZENT2_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZENT2_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZENT2_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime and winpthread go into each program, so that a program runs
# from any folder without the compiler's DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Debian's wine64 keeps its loader out of PATH; /usr/bin/wine (package wine) picks it.
find_program(ZENT2_WINE NAMES wine wine64 HINTS /usr/lib/wine)
if(ZENT2_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZENT2_WINE})
endif()
