# The connection server (the listening control stand-in and its window) and the HTTP
# server with its request connections.
add_library(pelorin_httpserver STATIC
    CSocket_Server.cpp
    LingeringClose.cpp
    RequestParser.cpp
    WebServer.cpp
    WebServerClient.cpp
    Winsock.cpp
    WinsockServer_Form.cpp)
# The diagnostics hooks are left open: the program that links this library picks the
# full or the inert diagnostics.
target_link_libraries(pelorin_httpserver PUBLIC pelorin_net pelorin_platform
                      PRIVATE pelorin_warnings)

if(PELORIN_BUILD_TESTS)
    pelorin_add_gtest(NAME httpserver_tests TEST_PREFIX server.http.
        SOURCES
            tests/Winsock_test.cpp
            tests/WinsockServer_Form_test.cpp
            tests/RequestParser_test.cpp
            tests/WebServerClient_test.cpp
            tests/WebServer_test.cpp
            tests/LingeringClose_test.cpp
            tests/HttpServerFixture.cpp
            ${PROJECT_SOURCE_DIR}/net/tests/RecordingHooks.cpp
        LIBS pelorin_httpserver pelorin_test_support)
    # A peer with a closed receive window, made with the Linux sockets directly.
    if(NOT WIN32)
        target_sources(httpserver_tests PRIVATE tests/posix/ClosedWindow_test.cpp)
    endif()
endif()
