# What the mingw-w64 toolchain files share. They set PELORIN_MINGW_TARGET (the compilers'
# target triple) and CMAKE_SYSTEM_PROCESSOR, then include this.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix compilers: the win32 thread model of GCC 12 lacks std::thread and std::mutex.
set(CMAKE_C_COMPILER ${PELORIN_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELORIN_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${PELORIN_MINGW_TARGET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PELORIN_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Fully static: without it libwinpthread-1.dll is needed and Wine exits 53 silently.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Wine's loaders are named, never the `wine` command: Debian's `wine` starts the 32-bit
# loader whenever Wine's 32-bit part is installed and the 64-bit one otherwise. The
# 64-bit loader makes and serves the test prefix (a 64-bit prefix runs 32-bit programs
# as well); PELORIN_WINE_LOADER runs the programs of this build.
find_program(PELORIN_WINE64_LOADER NAMES wine64 HINTS /usr/lib/wine
             DOC "Wine's 64-bit loader" REQUIRED)
