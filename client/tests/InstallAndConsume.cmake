# Installs the build into a fresh prefix, checks the usual places, then builds and runs a
# separate project that finds the library with find_package.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DCONSUMER_DIR=... -DCXX_FLAGS=...
#         -DBINDIR=... -DLIBDIR=... -DINCLUDEDIR=... [-DRUNNER=...] -P InstallAndConsume.cmake
# The three folders are the build's GNUInstallDirs values. RUNNER, when given, runs the
# installed programs (a test launcher such as scripts/memcheck.sh).
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}")
    endif()
    message(STATUS "${out}")
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

foreach(installed
        ${BINDIR}/pelorin
        ${BINDIR}/pelorin-client
        ${LIBDIR}/libPelorin_Client.so
        ${INCLUDEDIR}/pelorin/PelorinClient.h
        ${LIBDIR}/cmake/Pelorin_Client/Pelorin_ClientConfig.cmake)
    if(NOT EXISTS ${prefix}/${installed})
        message(FATAL_ERROR "not installed: ${installed}")
    endif()
endforeach()

# The installed tool finds the installed library: a usage error is its own exit status.
execute_process(COMMAND ${RUNNER} ${prefix}/${BINDIR}/pelorin-client RESULT_VARIABLE result
                OUTPUT_QUIET ERROR_QUIET)
if(NOT result EQUAL 2)
    message(FATAL_ERROR "the installed tool answered ${result} to no arguments, not 2")
endif()

run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer-build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_FLAGS=${CXX_FLAGS})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer-build)
# Port 1: nothing listens there, so the call fails.
run(${RUNNER} ${WORK_DIR}/consumer-build/consumer 1)
message(STATUS "install and find_package: ok")
