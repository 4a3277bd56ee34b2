# Cross toolchain for 64-bit Windows (the build that runs under wine64) with MinGW-w64.
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(MINGW_ARCH AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
