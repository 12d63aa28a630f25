# Cross build for 32-bit Windows with MinGW-w64:
#   cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
# Programs, tests included, run under Wine's 32-bit loader, which CTest and
# test discovery use as the emulator, in a Wine prefix of the build
# directory's own (CORVANE_WINEPREFIX). scripts/test-windows first checks
# that this machine runs 32-bit programs at all.
set(CORVANE_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
if(NOT DEFINED CORVANE_WINE)
  set(CORVANE_WINE /usr/lib/wine/wine)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
