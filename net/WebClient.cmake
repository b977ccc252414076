# The web client, and the cookie, parameter and URL helpers.
target_sources(pelorin_net PRIVATE
    Parameter.cpp
    URL_Modul.cpp
    AnswerParser.cpp
    WebClient.cpp
    httpCookie.cpp
    httpCookieVariable.cpp)

if(PELORIN_BUILD_TESTS)
    pelorin_add_gtest(NAME net_webclient_tests TEST_PREFIX net.web.
        SOURCES
            tests/URL_Modul_test.cpp
            tests/httpCookie_test.cpp
            tests/AnswerParser_test.cpp
            tests/WebClient_test.cpp
        LIBS pelorin_net pelorin_recording_hooks pelorin_test_support)
endif()
