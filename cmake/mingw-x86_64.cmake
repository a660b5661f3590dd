# Cross-compiling the Windows build with Debian's MinGW-w64, 64-bit. The
# product is the 32-bit build; this one compiles the same sources so that
# the Windows tests can run under Wine on a machine whose kernel cannot
# execute 32-bit programs (and so cannot run 32-bit Wine).
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
