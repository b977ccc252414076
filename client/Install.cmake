# Installation: the server program, the tool and the client library in the usual places;
# on Linux also the library's header and a CMake package, so that another project can
#   find_package(Pelorin_Client) and link Pelorin_Client::Pelorin_Client.
# The components are the Debian packages (packaging/CMakeLists.txt): the programs
# (server), the shared library alone (library), and what building against it needs
# (development).
if(TARGET pelorin)
    install(TARGETS pelorin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server)
endif()
install(TARGETS pelorin-client RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server)

if(WIN32)
    # The component goes next to the programs; it is registered with regsvr32.
    install(TARGETS Pelorin_Client LIBRARY DESTINATION ${CMAKE_INSTALL_BINDIR})
    return()
endif()

include(CMakePackageConfigHelpers)
set(PELORIN_CLIENT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Pelorin_Client)

install(TARGETS Pelorin_Client EXPORT Pelorin_ClientTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        COMPONENT library NAMELINK_COMPONENT development
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pelorin COMPONENT development)
install(EXPORT Pelorin_ClientTargets
    NAMESPACE Pelorin_Client::
    DESTINATION ${PELORIN_CLIENT_CMAKE_DIR}
    COMPONENT development)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/cmake/Pelorin_ClientConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/Pelorin_ClientConfig.cmake
    INSTALL_DESTINATION ${PELORIN_CLIENT_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/Pelorin_ClientConfigVersion.cmake
    VERSION ${PROJECT_VERSION}
    COMPATIBILITY SameMinorVersion)
install(FILES
    ${CMAKE_CURRENT_BINARY_DIR}/Pelorin_ClientConfig.cmake
    ${CMAKE_CURRENT_BINARY_DIR}/Pelorin_ClientConfigVersion.cmake
    DESTINATION ${PELORIN_CLIENT_CMAKE_DIR}
    COMPONENT development)
