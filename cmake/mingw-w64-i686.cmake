# Cross build for 32-bit Windows with mingw-w64; tests run under Wine's 32-bit loader, in
# a 64-bit prefix (as on 64-bit Windows, 32-bit programs use C:\windows\syswow64).
set(PELORIN_MINGW_TARGET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Debian's 32-bit loader; PATH is not searched, where `wine` is the choosing wrapper.
find_program(PELORIN_WINE_LOADER NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH
             DOC "Wine's 32-bit loader")
if(NOT PELORIN_WINE_LOADER)
    message(FATAL_ERROR "Wine's 32-bit loader /usr/lib/wine/wine is missing: the package "
                        "wine32:i386 provides it (scripts/setup.sh installs it), or set "
                        "PELORIN_WINE_LOADER")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${PELORIN_WINE_LOADER})
