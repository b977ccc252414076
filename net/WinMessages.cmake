# Window message hooks: the server program's tray icon watches its window through them.
target_sources(pelorin_net PRIVATE
    WinMessages.cpp
    WinMessages_Modul.cpp)

if(PELORIN_BUILD_TESTS)
    pelorin_add_gtest(NAME net_winmessages_tests TEST_PREFIX net.hooks.
        SOURCES
            tests/WinMessages_test.cpp
        LIBS pelorin_net pelorin_recording_hooks pelorin_test_support)
endif()
