# Run by CPack after it built the packages: takes out of the library package the
# postinst and postrm that CPack writes for every package with a shared library below
# /usr/lib, which call ldconfig themselves. The package's ldconfig trigger does that
# (once for all packages of an installation), and Debian wants only the trigger.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    get_filename_component(name "${package}" NAME)
    if(NOT name MATCHES "^libpelorin-client0_")
        continue()
    endif()
    set(tree "${CPACK_TOPLEVEL_DIRECTORY}/without-ldconfig-scripts")
    file(REMOVE_RECURSE "${tree}")
    execute_process(COMMAND dpkg-deb -R "${package}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE "${tree}/DEBIAN/postinst" "${tree}/DEBIAN/postrm")
    execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip -b "${tree}" "${package}"
                    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE "${tree}")
endforeach()
