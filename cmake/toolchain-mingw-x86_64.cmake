# Cross build for 64-bit Windows with MinGW-w64:
#   cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake
# Programs, tests included, run under Wine's 64-bit loader, which CTest and
# test discovery use as the emulator, in a Wine prefix of the build
# directory's own (CORVANE_WINEPREFIX).
set(CORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
if(NOT DEFINED CORVANE_WINE)
  set(CORVANE_WINE /usr/lib/wine/wine64)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
