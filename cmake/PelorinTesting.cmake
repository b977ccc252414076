# GoogleTest from Debian's sources (they also serve the mingw cross build) and the
# helper that registers a test program on either platform.
if(NOT PELORIN_BUILD_TESTS)
    return()
endif()

enable_testing()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(PELORIN_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
# A program that runs each test program of the project (`launcher program arguments...`),
# e.g. scripts/memcheck.sh. The tests that are scripts get it in PELORIN_TEST_RUNNER and
# run the project's programs through it.
set(PELORIN_TEST_LAUNCHER "" CACHE FILEPATH "Program that runs each test program (Linux)")
add_subdirectory(${PELORIN_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

if(WIN32)
    # Tests run under Wine in a prefix of their own inside the build tree. A fixture
    # creates it once and starts the wine server detached from CTest's output pipe.
    # Every Windows program runs under the loader of its own bitness (the toolchain file
    # names them), and WINELOADER tells Wine which one starts the programs it starts.
    set(PELORIN_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    set(PELORIN_WINE_ENV
        WINEPREFIX=${PELORIN_WINEPREFIX}
        WINELOADER=${PELORIN_WINE_LOADER}
        WINEDEBUG=-all
        WINEDLLOVERRIDES=mscoree,mshtml=)
    # Where the system programs of this build's bitness are (regsvr32.exe, cscript.exe):
    # 32-bit programs use SysWOW64 on 64-bit Windows.
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(PELORIN_WINDOWS_SYSTEM "C:\\windows\\system32")
    else()
        set(PELORIN_WINDOWS_SYSTEM "C:\\windows\\syswow64")
    endif()
    add_test(NAME wine_prefix_setup
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh start ${PELORIN_WINEPREFIX}
                     ${PELORIN_WINE64_LOADER} ${PELORIN_WINE_LOADER})
    set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
    add_test(NAME wine_prefix_cleanup
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh stop ${PELORIN_WINEPREFIX})
    set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine)
else()
    include(GoogleTest)
endif()

# pelorin_add_gtest(NAME name [TEST_PREFIX prefix] SOURCES ... LIBS ...)
# Linux: one CTest test per GoogleTest case, named TEST_PREFIX + suite.case. Windows: one
# CTest test per program, run by Wine (a Wine process costs more to start than the cases
# cost to run).
function(pelorin_add_gtest)
    cmake_parse_arguments(T "" "NAME;TEST_PREFIX" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main pelorin_warnings)
    if(WIN32)
        add_test(NAME ${T_NAME} COMMAND ${T_NAME})
        # A crash under Wine may end with exit code 0 (it races with Wine's own crash
        # handling), so the crash report Wine always prints fails the test as well.
        set_tests_properties(${T_NAME} PROPERTIES
            ENVIRONMENT "${PELORIN_WINE_ENV}" FIXTURES_REQUIRED wine
            FAIL_REGULAR_EXPRESSION "wine: Unhandled")
    else()
        set(discovery_timeout 30)
        if(PELORIN_TEST_LAUNCHER)
            # Listing the cases runs under the launcher as well, which takes its time.
            set_target_properties(${T_NAME} PROPERTIES
                CROSSCOMPILING_EMULATOR "${PELORIN_TEST_LAUNCHER}")
            set(discovery_timeout 300)
        endif()
        gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST
                             DISCOVERY_TIMEOUT ${discovery_timeout}
                             TEST_PREFIX "${T_TEST_PREFIX}")
    endif()
endfunction()
