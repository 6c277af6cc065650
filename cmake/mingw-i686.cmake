# Cross-compiling for 32-bit Windows with mingw-w64: the product's own build.
# Every cross-built program runs through tools/wine-run.sh, which uses a
# private 32-bit Wine prefix under the build folder.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)
