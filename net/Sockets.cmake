# The event socket and the socket module (with the host cache and the SSL loader).
target_sources(pelorin_net PRIVATE
    ADomainCache.cpp
    CSocket.cpp
    SocketErrorText.cpp
    SocketModule.cpp
    SslLibrary.cpp)

if(PELORIN_BUILD_TESTS)
    # Stand-ins for the outside SSL library, next to the test program so that they are
    # found in its folder: a complete one under the library's own name, an incomplete
    # one (no ssl_getverify) under another.
    if(WIN32)
        set(fake_ssl_io tests/fake_ssl/RawSocketIo_win32.cpp)
        set(fake_ssl_libs ws2_32)
    else()
        set(fake_ssl_io tests/fake_ssl/RawSocketIo_posix.cpp)
        set(fake_ssl_libs)
    endif()
    foreach(variant OpenSSL OpenSSLPartial)
        add_library(pelorin_fake_${variant} SHARED tests/fake_ssl/FakeOpenSsl.cpp ${fake_ssl_io})
        target_include_directories(pelorin_fake_${variant} PRIVATE ${PROJECT_SOURCE_DIR})
        target_link_libraries(pelorin_fake_${variant} PRIVATE ${fake_ssl_libs} pelorin_warnings)
        set_target_properties(pelorin_fake_${variant} PROPERTIES
            OUTPUT_NAME ${variant}
            WINDOWS_EXPORT_ALL_SYMBOLS ON
            RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
            LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
        if(WIN32)
            set_target_properties(pelorin_fake_${variant} PROPERTIES PREFIX "")
        endif()
    endforeach()
    target_compile_definitions(pelorin_fake_OpenSSLPartial PRIVATE FAKE_SSL_WITHOUT_VERIFY)

    pelorin_add_gtest(NAME net_socket_tests TEST_PREFIX net.socket.
        SOURCES
            tests/ADomainCache_test.cpp
            tests/CSocket_test.cpp
            tests/SendQueue_test.cpp
            tests/SocketModule_test.cpp
            tests/SocketTestSupport.cpp
            tests/SslLibrary_test.cpp
        LIBS pelorin_net pelorin_recording_hooks pelorin_test_support)
    add_dependencies(net_socket_tests pelorin_fake_OpenSSL pelorin_fake_OpenSSLPartial)
    # A socket whose epoll registration the Linux backend is made to fail.
    if(NOT WIN32)
        target_sources(net_socket_tests PRIVATE tests/posix/RearmFailure_test.cpp)
    endif()
endif()
