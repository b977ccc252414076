# The soak test: a long run of every store command over many concurrent connections
# against the real server program, every answer checked, the server's memory watched.
# It drives the Linux program and reads /proc, so it is built on Linux only. CI runs a
# short form; the full run is `soak` without options (see Soak.md).
if(WIN32)
    return()
endif()

find_package(Threads REQUIRED)
add_executable(soak ${CMAKE_CURRENT_LIST_DIR}/Soak.cpp)
target_link_libraries(soak PRIVATE Threads::Threads pelorin_warnings)
target_compile_definitions(soak PRIVATE PELORIN_PROGRAM_FILE="$<TARGET_FILE:pelorin>")
add_dependencies(soak pelorin)

if(PELORIN_BUILD_TESTS)
    set(SOAK_SHORT --requests 5000 --connections 256)
    # The sanitizers' allocator holds freed memory back on purpose (to catch late uses),
    # so resident memory says nothing about leaks there; their own leak check does.
    if(PELORIN_SANITIZE)
        list(APPEND SOAK_SHORT --no-memory-check)
    endif()
    add_test(NAME bench.soak.short COMMAND soak ${SOAK_SHORT})
    # Alone: the server's port is one the system chose and let go, and a connection of a
    # test running beside it could take that port before the server binds it.
    set_tests_properties(bench.soak.short PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
endif()
