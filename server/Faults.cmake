# Fault tests: the real server program, run as a process of its own, under faults from
# outside (killed, storage failing, misbehaving peers). They signal, limit and switch
# the user of the server process, which only the Linux build can do.
if(NOT PELORIN_BUILD_TESTS OR WIN32)
    return()
endif()

pelorin_add_gtest(NAME server_fault_tests TEST_PREFIX server.faults.
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/tests/posix/FaultKill_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tests/posix/FaultPeers_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tests/posix/FaultStorage_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tests/posix/ServerProcess.cpp
    LIBS pelorin_platform pelorin_test_support)
target_compile_definitions(server_fault_tests PRIVATE
    PELORIN_PROGRAM_FILE="$<TARGET_FILE:pelorin>")
add_dependencies(server_fault_tests pelorin)
