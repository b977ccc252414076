# The window position saver and the point and rectangle records it stores.
add_library(pelorin_positionsaver STATIC
    ${CMAKE_CURRENT_LIST_DIR}/Mathe_Code.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PositionSaver.cpp)
# The diagnostics hooks are left open: the program that links this library picks the
# full or the inert diagnostics.
target_link_libraries(pelorin_positionsaver PUBLIC pelorin_platform PRIVATE pelorin_warnings)

if(PELORIN_BUILD_TESTS)
    pelorin_add_gtest(NAME positionsaver_tests TEST_PREFIX server.position.
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/tests/Mathe_Code_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/tests/PositionSaver_test.cpp
            ${PROJECT_SOURCE_DIR}/net/tests/RecordingHooks.cpp
        LIBS pelorin_positionsaver pelorin_diagnostics_inert pelorin_test_support)
    # Only the Linux model screen can change its size; on Windows the window is a real one.
    if(WIN32)
        target_sources(positionsaver_tests PRIVATE
            ${CMAKE_CURRENT_LIST_DIR}/tests/win32/PositionSaverWindow_test.cpp)
    else()
        target_sources(positionsaver_tests PRIVATE
            ${CMAKE_CURRENT_LIST_DIR}/tests/posix/PositionSaverScreen_test.cpp)
    endif()
endif()

# On Windows the same tests once more on a real display: Wine's X11 driver on a virtual X
# server, in the X11 prefix of the desktop tests (DesktopHelpers.cmake), one program at a
# time.
if(PELORIN_BUILD_TESTS AND WIN32)
    pelorin_add_x11_test(positionsaver_x11_tests positionsaver_tests)
    set_tests_properties(positionsaver_x11_tests PROPERTIES
        PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [0-9]+ tests"
        FAIL_REGULAR_EXPRESSION "wine: Unhandled;\\[  FAILED  \\]")
endif()
