# Cross toolchain for 32-bit Windows (the module's real target) with MinGW-w64.
set(MINGW_TRIPLET i686-w64-mingw32)
set(MINGW_ARCH x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
