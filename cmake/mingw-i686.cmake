# Cross-compiling the Windows build with Debian's MinGW-w64, 32-bit: the
# product.
set(MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
