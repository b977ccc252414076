# The tray window with its menu, and opening an address with the shell. Its menu's
# "Programm beenden" runs the program's unload routine, hence the store library.
add_library(pelorin_desktop STATIC
    ${CMAKE_CURRENT_LIST_DIR}/TaskIcon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TaskIcon_Modul.cpp
    ${CMAKE_CURRENT_LIST_DIR}/windows_Interface.cpp)
target_link_libraries(pelorin_desktop
    PUBLIC pelorin_store pelorin_net pelorin_platform
    PRIVATE pelorin_warnings)

if(PELORIN_BUILD_TESTS)
    pelorin_add_gtest(NAME desktop_tests TEST_PREFIX server.desktop.
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/tests/TaskIcon_test.cpp
        LIBS pelorin_desktop pelorin_test_support)
endif()

# On Windows, the tray over the real shell and a real menu: Wine with its X11 driver on a
# virtual display, in a prefix of its own, one program at a time.
if(PELORIN_BUILD_TESTS AND WIN32)
    add_executable(desktop_x11_tests ${CMAKE_CURRENT_LIST_DIR}/tests/win32/RealTray_test.cpp)
    target_link_libraries(desktop_x11_tests PRIVATE
        pelorin_desktop pelorin_test_support GTest::gtest GTest::gtest_main pelorin_warnings)

    set(PELORIN_X11_SCRIPT ${PROJECT_SOURCE_DIR}/scripts/wine-x11.sh)
    set(PELORIN_X11_PREFIX ${CMAKE_BINARY_DIR}/wineprefix-x11)
    add_test(NAME wine_x11_prefix_setup COMMAND ${PELORIN_X11_SCRIPT} setup ${PELORIN_X11_PREFIX})
    add_test(NAME wine_x11_prefix_cleanup COMMAND ${PELORIN_X11_SCRIPT} stop ${PELORIN_X11_PREFIX})
    set_tests_properties(wine_x11_prefix_setup PROPERTIES
        FIXTURES_SETUP wine_x11 RESOURCE_LOCK wine_x11 TIMEOUT 300)
    set_tests_properties(wine_x11_prefix_cleanup PROPERTIES
        FIXTURES_CLEANUP wine_x11 RESOURCE_LOCK wine_x11)

    # pelorin_add_x11_test(NAME PROGRAM): runs the test program PROGRAM in the X11 prefix.
    function(pelorin_add_x11_test name program)
        add_test(NAME ${name}
                 COMMAND ${PELORIN_X11_SCRIPT} run ${PELORIN_X11_PREFIX} $<TARGET_FILE:${program}>)
        set_tests_properties(${name} PROPERTIES
            FIXTURES_REQUIRED wine_x11 RESOURCE_LOCK wine_x11 TIMEOUT 180)
    endfunction()

    pelorin_add_x11_test(desktop_x11_tests desktop_x11_tests)
    set_tests_properties(desktop_x11_tests PROPERTIES FAIL_REGULAR_EXPRESSION "wine: Unhandled")
endif()
