# Cross build for 64-bit Windows with mingw-w64; tests run under Wine's 64-bit loader.
set(PELORIN_MINGW_TARGET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

set(PELORIN_WINE_LOADER ${PELORIN_WINE64_LOADER})
set(CMAKE_CROSSCOMPILING_EMULATOR ${PELORIN_WINE_LOADER})
