# Pelorin_Client.dll: the COM in-process server of the class PelorinClient, with its type
# library (compiled from the IDL by widl) embedded as resource TYPELIB 1.
enable_language(RC)

# The type library is made for the DLL's own platform (SYS_WIN32 or SYS_WIN64): that is
# the platform RegisterTypeLib registers it for.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_widl_name x86_64-w64-mingw32-widl)
    set(_widl_platform --win64)
    set(_wine_windows /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
else()
    set(_widl_name i686-w64-mingw32-widl)
    set(_widl_platform --win32)
    set(_wine_windows /usr/lib/i386-linux-gnu/wine/i386-windows)
endif()
find_program(PELORIN_WIDL NAMES ${_widl_name} widl REQUIRED)
set(PELORIN_WIDL_INCLUDE /usr/include/wine/wine/windows CACHE PATH "IDL files for widl")
set(PELORIN_WIDL_LIBRARIES ${_wine_windows} CACHE PATH "Where widl finds stdole2.tlb")

set(_idl ${CMAKE_CURRENT_LIST_DIR}/Pelorin_Client.idl)
set(_gen ${CMAKE_CURRENT_BINARY_DIR}/com)
add_custom_command(
    OUTPUT ${_gen}/Pelorin_Client_h.h ${_gen}/Pelorin_Client_i.c ${_gen}/Pelorin_Client.tlb
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_gen}
    COMMAND ${PELORIN_WIDL} ${_widl_platform} -I${PELORIN_WIDL_INCLUDE} -L${PELORIN_WIDL_LIBRARIES}
            -h -H ${_gen}/Pelorin_Client_h.h -u -U ${_gen}/Pelorin_Client_i.c
            -t -T ${_gen}/Pelorin_Client.tlb ${_idl}
    DEPENDS ${_idl}
    COMMENT "Compiling the type library of Pelorin_Client")

# The interface declarations and GUIDs (generated code, compiled without our warning
# rules), then the interface's error and text conversions; shared by the DLL and its tests.
add_library(pelorin_client_guids STATIC ${_gen}/Pelorin_Client_h.h ${_gen}/Pelorin_Client_i.c)
target_include_directories(pelorin_client_guids SYSTEM PUBLIC ${_gen})
target_link_libraries(pelorin_client_guids PUBLIC ole32 oleaut32 uuid)

add_library(pelorin_client_com STATIC
    ${CMAKE_CURRENT_LIST_DIR}/BstrText.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ComError.cpp)
target_link_libraries(pelorin_client_com PUBLIC pelorin_client_guids PRIVATE pelorin_warnings)

set(_rc ${CMAKE_CURRENT_LIST_DIR}/Pelorin_Client.rc)
set_source_files_properties(${_rc} PROPERTIES OBJECT_DEPENDS ${_gen}/Pelorin_Client.tlb)
add_library(Pelorin_Client MODULE
    ${CMAKE_CURRENT_LIST_DIR}/ClassFactory.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DllExports.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ModuleState.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PelorinClientObject.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Registration.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Pelorin_Client.def
    ${_rc})
# windres finds the .tlb next to the generated files.
target_include_directories(Pelorin_Client PRIVATE ${_gen})
target_link_libraries(Pelorin_Client PRIVATE pelorin_client_core pelorin_client_com
    pelorin_warnings)
set_target_properties(Pelorin_Client PROPERTIES PREFIX "")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # The .def names the entry points as Windows looks them up; on 32-bit x86 the
    # compiler decorates their __stdcall names (DllGetClassObject@12), which the linker
    # is to match to them.
    target_link_options(Pelorin_Client PRIVATE -Wl,--enable-stdcall-fixup)
endif()
