# Cross-compiling the same sources for 64-bit Windows. It is not what we ship:
# it exists so that the Windows tests can run under Wine on a Linux kernel
# that runs no 32-bit programs (one started without ia32 emulation), where
# the 32-bit Wine loader cannot start at all. Its programs run through
# tools/wine-run.sh --win64, in a 64-bit prefix of their own.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh --win64)
