# 32-bit Windows (x86) with MinGW-w64 from Debian's packages.
set(OMBREL_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR X86)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
