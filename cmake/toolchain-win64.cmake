# 64-bit Windows (x86-64) with MinGW-w64 from Debian's packages.
set(OMBREL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
