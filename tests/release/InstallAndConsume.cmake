# Installs the build into a scratch prefix, then builds and runs the consumer project against
# it twice: once through find_package, once through pkg-config. A third consumer adds the
# project's source tree with add_subdirectory.
#
#   cmake -DBUILD_DIR=<build tree> -DPROJECT_DIR=<project source> -DWORK_DIR=<scratch directory>
#         -DSOURCE_DIR=<this directory>
#         -DBINDIR=<dir> -DLIBDIR=<dir> -DINCLUDEDIR=<dir> (the build's relative install dirs)
#         -DGENERATOR=<generator> -DCXX=<compiler> -DCXX_FLAGS=<flags> -DLINK_FLAGS=<flags>
#         [-DTOOLCHAIN=<toolchain file> -DEMULATOR=<program|argument|...>] [-DTOOL_RPATH=<rpath>]
#         -DPKG_CONFIG=<pkg-config> -P InstallAndConsume.cmake
#
# The compiler, flags and toolchain are the build's own: a library built with sanitizers can
# only be loaded by a program built with them too, and a cross build's consumers are built for
# its target and run under its emulator. TOOL_RPATH is the installed tools' rpath: empty when
# the build's prefix is one the loader searches anyway (/usr). Nothing here reads standard
# input or the network, and every step has a time limit.

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run what)
  execute_process(COMMAND ${ARGN}
    WORKING_DIRECTORY ${WORK_DIR}
    INPUT_FILE ${WORK_DIR}/input.txt
    RESULT_VARIABLE failed
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output
    TIMEOUT 120)
  if(failed)
    message(FATAL_ERROR "${what} failed (${failed}):\n${output}")
  endif()
  message(STATUS "${what}: ok")
  set(output "${output}" PARENT_SCOPE)
endfunction()

string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
# A cross build's toolchain looks for packages and libraries in the target's tree only; the
# consumer must find them in the scratch prefix as well.
set(toolchain_option)
if(TOOLCHAIN)
  file(WRITE ${WORK_DIR}/toolchain.cmake "include(${TOOLCHAIN})
foreach(kind PACKAGE LIBRARY INCLUDE)
  set(CMAKE_FIND_ROOT_PATH_MODE_\${kind} BOTH)
endforeach()
")
  set(toolchain_option -DCMAKE_TOOLCHAIN_FILE=${WORK_DIR}/toolchain.cmake)
endif()

# The consumer reads one line from standard input.
file(WRITE ${WORK_DIR}/input.txt "consumer\n")

run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

set(libdir ${prefix}/${LIBDIR})
foreach(file
    ${INCLUDEDIR}/hxconsole/QHxConsole.h
    ${INCLUDEDIR}/hxconsole/QSimpleCrypt.h
    ${INCLUDEDIR}/hxconsole/QAsciiCrypt.h
    ${LIBDIR}/libhxconsole.so
    ${LIBDIR}/libhxconsole.so.1
    ${LIBDIR}/cmake/HxConsole/HxConsoleConfigVersion.cmake
    ${LIBDIR}/pkgconfig/hxconsole.pc
    ${BINDIR}/hxscramble
    ${BINDIR}/hxdemo)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# Only the scratch prefix may supply the package: a copy installed on the machine must not
# stand in for the one under test.
set(ENV{PKG_CONFIG_LIBDIR} ${libdir}/pkgconfig)
unset(ENV{PKG_CONFIG_PATH})

# The .pc file names the prefix it was installed under, in plain form.
run("pkg-config --cflags" ${PKG_CONFIG} --cflags hxconsole)
string(STRIP "${output}" output)
if(NOT output STREQUAL "-I${prefix}/${INCLUDEDIR}/hxconsole")
  message(FATAL_ERROR "pkg-config --cflags hxconsole gives '${output}', "
                      "not -I${prefix}/${INCLUDEDIR}/hxconsole")
endif()

foreach(find package pkg-config subdirectory)
  set(build ${WORK_DIR}/consumer-${find})
  # An installed library comes from the prefix; a subproject's from its build tree (rpath).
  set(library_path ${libdir})
  if(find STREQUAL "subdirectory")
    set(library_path "")
  endif()
  run("configure the consumer (${find})" ${CMAKE_COMMAND}
    -S ${SOURCE_DIR} -B ${build} -G ${GENERATOR}
    -DHXCONSOLE_FIND=${find}
    -DHXCONSOLE_SOURCE_DIR=${PROJECT_DIR}
    -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
    -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF
    -DCMAKE_CXX_COMPILER=${CXX}
    ${toolchain_option}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}")
  run("build the consumer (${find})" ${CMAKE_COMMAND} --build ${build})
  run("run the consumer (${find})"
    ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${library_path} ${EMULATOR} ${build}/consumer)
  if(NOT output MATCHES "consumer: all good")
    message(FATAL_ERROR "the consumer (${find}) said:\n${output}")
  endif()
endforeach()

# The installed tool runs from the prefix with no help: its rpath points at the library. A tool
# built for /usr has none, and finds the library there once installed; from the scratch prefix
# it is shown the way.
set(library_path "")
if(NOT TOOL_RPATH)
  set(library_path ${libdir})
endif()
run("run the installed hxscramble" ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${library_path}
  ${EMULATOR} ${prefix}/${BINDIR}/hxscramble --version)
