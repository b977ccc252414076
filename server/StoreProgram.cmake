# The store request handler, the server window, the start routine and the program.

# The store's commands on the data folder and the command line: no sockets needed.
add_library(pelorin_store_commands STATIC
    ${CMAKE_CURRENT_LIST_DIR}/CommandLine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StoreCommand.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StorePaths.cpp)
target_link_libraries(pelorin_store_commands
    PUBLIC pelorin_diagnostics pelorin_platform
    PRIVATE pelorin_warnings)

# The request handler, the window and the start routine over the HTTP server.
add_library(pelorin_store STATIC
    ${CMAKE_CURRENT_LIST_DIR}/DBClient.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MainCode.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MainForm.cpp)
target_link_libraries(pelorin_store
    PUBLIC pelorin_store_commands pelorin_httpserver pelorin_net pelorin_diagnostics
    PRIVATE pelorin_warnings)

# The deliverable: pelorin on Linux, Pelorin.exe (a window program) on Windows. Its
# folder is the program folder; the store lives in its "data" folder.
add_executable(pelorin ${CMAKE_CURRENT_LIST_DIR}/Main.cpp)
target_link_libraries(pelorin PRIVATE pelorin_store pelorin_warnings)
if(WIN32)
    set_target_properties(pelorin PROPERTIES OUTPUT_NAME Pelorin WIN32_EXECUTABLE TRUE)
endif()

if(PELORIN_BUILD_TESTS)
    set(STORE_TEST_SUPPORT
        ${CMAKE_CURRENT_LIST_DIR}/tests/ServerFixture.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tests/StoreFixture.cpp)

    pelorin_add_gtest(NAME server_store_tests TEST_PREFIX server.store.
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/tests/StoreCommand_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/tests/StorePaths_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/tests/StoreServer_test.cpp
            ${STORE_TEST_SUPPORT}
        LIBS pelorin_store pelorin_test_support)
    # A peer that half-closes its connection, made with the Linux sockets directly.
    if(NOT WIN32)
        target_sources(server_store_tests PRIVATE
            ${CMAKE_CURRENT_LIST_DIR}/tests/posix/HalfClose_test.cpp)
    endif()

    pelorin_add_gtest(NAME server_program_tests TEST_PREFIX server.program.
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/tests/CommandLine_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/tests/MainForm_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/tests/Program_test.cpp
            ${STORE_TEST_SUPPORT}
        LIBS pelorin_store pelorin_test_support)
    # The program tests run a copy of the program, which lies next to the test program.
    if(WIN32)
        target_sources(server_program_tests PRIVATE
            ${CMAKE_CURRENT_LIST_DIR}/tests/win32/ProgramRunner.cpp)
    else()
        target_sources(server_program_tests PRIVATE
            ${CMAKE_CURRENT_LIST_DIR}/tests/posix/ProgramRunner.cpp)
    endif()
    target_compile_definitions(server_program_tests PRIVATE
        PELORIN_PROGRAM_NAME="$<TARGET_FILE_NAME:pelorin>")
    add_dependencies(server_program_tests pelorin)
endif()
