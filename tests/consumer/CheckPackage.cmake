# Builds the Debian package from a finished build tree and checks what it holds.
#
#   cmake -DBUILD_DIR=<build tree> -DWORK_DIR=<scratch directory> -DCPACK=<cpack> -P CheckPackage.cmake

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN}
    WORKING_DIRECTORY ${WORK_DIR}
    INPUT_FILE /dev/null
    RESULT_VARIABLE failed
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output
    TIMEOUT 120)
  if(failed)
    message(FATAL_ERROR "${ARGN} failed (${failed}):\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

run(${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR})
file(GLOB package ${WORK_DIR}/hxconsole_*.deb)
if(NOT package)
  message(FATAL_ERROR "cpack made no hxconsole_*.deb:\n${output}")
endif()

run(dpkg-deb --contents ${package})
foreach(file
    /usr/lib/libhxconsole.so.1
    /usr/include/hxconsole/QHxConsole.h
    /usr/lib/cmake/HxConsole/HxConsoleConfig.cmake
    /usr/lib/pkgconfig/hxconsole.pc
    /usr/bin/hxscramble
    /usr/bin/hxdemo)
  if(NOT output MATCHES "\\.${file}[ \n]")
    message(FATAL_ERROR "the package lacks ${file}:\n${output}")
  endif()
endforeach()

# dpkg-shlibdeps must have found the C++ runtime the binaries need.
run(dpkg-deb --field ${package} Depends)
if(NOT output MATCHES "libstdc\\+\\+6")
  message(FATAL_ERROR "the package depends on: ${output}")
endif()
message(STATUS "${package}: ok")
