# Shared part of the MinGW-w64 cross toolchains. The including file sets
# OMBREL_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR.
#
# The -posix compiler variants are used because the win32-thread variants
# lack std::mutex and std::thread, which GoogleTest and our job helpers need.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

set(CMAKE_C_COMPILER ${OMBREL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OMBREL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${OMBREL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${OMBREL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
