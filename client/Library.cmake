# The Linux shared library libPelorin_Client.so: the class PelorinClient and its error are
# its only exported symbols; the toolkit inside it stays private.
set_target_properties(pelorin_client_core pelorin_net pelorin_headers pelorin_platform
    pelorin_base pelorin_settings pelorin_diagnostics_inert
    PROPERTIES POSITION_INDEPENDENT_CODE ON)

add_library(Pelorin_Client SHARED)
target_link_libraries(Pelorin_Client PRIVATE pelorin_client_core pelorin_warnings)
target_link_options(Pelorin_Client PRIVATE "LINKER:--exclude-libs,ALL" "LINKER:--no-undefined")
# Installed as <pelorin/PelorinClient.h>; inside this tree it is "client/PelorinClient.h".
target_include_directories(Pelorin_Client INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(Pelorin_Client PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION 0
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    PUBLIC_HEADER ${CMAKE_CURRENT_SOURCE_DIR}/PelorinClient.h)
add_library(Pelorin_Client::Pelorin_Client ALIAS Pelorin_Client)
