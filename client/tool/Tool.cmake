# The tool pelorin-client. Its argument and output rules are shared; the store behind it
# is the shared library on Linux and the registered component on Windows.
add_library(pelorin_client_tool STATIC ${CMAKE_CURRENT_LIST_DIR}/StoreTool.cpp)
target_link_libraries(pelorin_client_tool PUBLIC pelorin_platform PRIVATE pelorin_warnings)

add_executable(pelorin-client ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
if(WIN32)
    target_sources(pelorin-client PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/win32/StoreAccess.cpp
        ${CMAKE_CURRENT_LIST_DIR}/../com/BstrText.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win32/pelorin-client.rc)
    # The streaming methods go through the class itself, linked into the tool.
    target_link_libraries(pelorin-client PRIVATE pelorin_client_core ole32 oleaut32 uuid)
else()
    target_sources(pelorin-client PRIVATE ${CMAKE_CURRENT_LIST_DIR}/posix/StoreAccess.cpp)
    target_link_libraries(pelorin-client PRIVATE Pelorin_Client)
    set_target_properties(pelorin-client PROPERTIES
        INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
endif()
target_link_libraries(pelorin-client PRIVATE pelorin_client_tool pelorin_warnings)
