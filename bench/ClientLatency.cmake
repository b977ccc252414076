# client-latency: wall and processor time of one store call (see client-latency/README.md).
add_executable(client-latency ${CMAKE_CURRENT_LIST_DIR}/client-latency/ClientLatency.cpp)
target_link_libraries(client-latency PRIVATE pelorin_client_core pelorin_warnings)
