# The MinGW-w64 cross build, for the processor named by MINGW_ARCH (i686 or
# x86_64) before this file is included. The -posix compilers are used
# because only their thread model carries std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_ARCH})
set(MINGW_PREFIX ${MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER   ${MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static zlib, so the executables need no DLL beyond the system's.
set(ZLIB_LIBRARY /usr/${MINGW_PREFIX}/lib/libz.a CACHE FILEPATH "")
set(ZLIB_INCLUDE_DIR /usr/${MINGW_PREFIX}/include CACHE PATH "")
# Programs of this build run under Wine: ctest, test discovery and add_test
# commands start them through this wrapper, which keeps them in a prefix of
# their own.
get_filename_component(_setupkit_wine_run "${CMAKE_CURRENT_LIST_DIR}/../tests/wine/wine-run.sh" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_setupkit_wine_run}")
