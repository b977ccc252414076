# The version of Pelorin has one source, the project() version. Two files are generated
# from it into the build tree: PelorinVersion.h (the texts of --version and the help, read
# by C++ and by the resource compiler) and PelorinVersionInfo.rc (the version resource of
# each Windows program and DLL). Everything that includes from the project's root finds
# them through pelorin_version.
foreach(part MAJOR MINOR PATCH TWEAK)
    set(PELORIN_VERSION_${part} "${PROJECT_VERSION_${part}}")
    if(PELORIN_VERSION_${part} STREQUAL "")
        set(PELORIN_VERSION_${part} 0)
    endif()
endforeach()

set(PELORIN_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/PelorinVersion.h.in
               ${PELORIN_GENERATED_DIR}/PelorinVersion.h @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/PelorinVersionInfo.rc.in
               ${PELORIN_GENERATED_DIR}/PelorinVersionInfo.rc @ONLY)

add_library(pelorin_version INTERFACE)
target_include_directories(pelorin_version INTERFACE ${PELORIN_GENERATED_DIR})
