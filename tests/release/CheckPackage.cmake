# What a machine without the release checkers builds, then what is shipped.
#
# First two configurations only: the release preset (the README's first command) sets up the
# library and the tools and no test, benchmark or fuzz program, even with GoogleTest at hand;
# and the unit tests alone (-D HXCONSOLE_BUILD_TESTS=ON) look for none of the release checks'
# programs. Then it builds the library and the tools the way a machine with only a compiler and
# CMake would (GoogleTest and Google Benchmark hidden), for the prefix /usr with Debian's default
# flags and hardening; makes the three Debian packages from that build, checks what each holds
# and what its .pc file gives, has hardening-check look at the binaries and lintian judge the
# packages.
#
#   cmake -DSOURCE_DIR=<project> -DWORK_DIR=<scratch directory> -DGENERATOR=<generator>
#         -DCXX=<compiler> [-DTOOLCHAIN=<toolchain file>] [-DGTEST_SOURCE_DIR=<googletest>]
#         -DCPACK=<cpack> -DLINTIAN=<lintian> -DHARDENING_CHECK=<hardening-check>
#         -DPKG_CONFIG=<pkg-config> -DVERSION=<project version>
#         -DARCH=<Debian architecture, e.g. amd64> -DMULTIARCH=<e.g. x86_64-linux-gnu>
#         -DTOOLS=<tool,...> -P CheckPackage.cmake

set(build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN}
    WORKING_DIRECTORY ${WORK_DIR}
    INPUT_FILE /dev/null
    RESULT_VARIABLE failed
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output
    TIMEOUT 300)
  if(failed)
    message(FATAL_ERROR "${ARGN} failed (${failed}):\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

set(toolchain_option)
if(TOOLCHAIN)
  set(toolchain_option -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()

# The release preset, given another build directory.
set(first ${WORK_DIR}/first)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} --preset release -B ${first} -G ${GENERATOR}
  -DCMAKE_CXX_COMPILER=${CXX} ${toolchain_option})
if(NOT EXISTS ${first}/tools/Makefile AND NOT EXISTS ${first}/tools/cmake_install.cmake)
  message(FATAL_ERROR "the release preset did not configure the tools")
endif()
foreach(part tests bench fuzz)
  if(EXISTS ${first}/${part})
    message(FATAL_ERROR "the release preset configured ${part}/")
  endif()
endforeach()

# The unit tests alone.
set(unit ${WORK_DIR}/unit)
set(gtest_option)
if(GTEST_SOURCE_DIR)
  set(gtest_option -DHXCONSOLE_GTEST_SOURCE_DIR=${GTEST_SOURCE_DIR})
endif()
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${unit} -G ${GENERATOR}
  -DCMAKE_CXX_COMPILER=${CXX} ${toolchain_option} ${gtest_option}
  -DHXCONSOLE_BUILD_TESTS=ON -DHXCONSOLE_BUILD_BENCHMARKS=OFF)
file(STRINGS ${unit}/CMakeCache.txt checkers
  REGEX "^HX_(GROFF|LINTIAN|HARDENING_CHECK|ABIDW|ABIDIFF|DPKG_SHLIBDEPS|FILE):")
if(NOT EXISTS ${unit}/tests OR EXISTS ${unit}/tests/release OR checkers)
  message(FATAL_ERROR "-D HXCONSOLE_BUILD_TESTS=ON set up more than the unit tests: ${checkers}")
endif()
file(REMOVE_RECURSE ${first} ${unit})

run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${build} -G ${GENERATOR}
  -DCMAKE_CXX_COMPILER=${CXX}
  ${toolchain_option}
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
  -DCMAKE_INSTALL_PREFIX=/usr
  -DHXCONSOLE_DEBIAN_BUILDFLAGS=ON
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON
  -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON)
run(${CMAKE_COMMAND} --build ${build} --parallel 2)
foreach(part tests bench)
  if(EXISTS ${build}/${part})
    message(FATAL_ERROR "without GoogleTest and Google Benchmark, ${part}/ was configured")
  endif()
endforeach()

run(${CPACK} -G DEB --config ${build}/CPackConfig.cmake -B ${WORK_DIR})

# check_package(<name> <field>=<value>... FILES <path>...): the package exists, its control
# fields hold the values, and it holds each path.
function(check_package name)
  cmake_parse_arguments(PARSE_ARGV 1 want "" "" "FIELDS;FILES")
  file(GLOB package ${WORK_DIR}/${name}_${VERSION}-1_*.deb)
  if(NOT package)
    file(GLOB made ${WORK_DIR}/*.deb)
    message(FATAL_ERROR "cpack made no ${name}; it made: ${made}")
  endif()
  foreach(field_value IN LISTS want_FIELDS)
    string(REGEX MATCH "^([^=]+)=(.*)$" ignored "${field_value}")
    run(dpkg-deb --field ${package} ${CMAKE_MATCH_1})
    string(STRIP "${output}" output)
    if(NOT output STREQUAL CMAKE_MATCH_2)
      message(FATAL_ERROR "${name}: ${CMAKE_MATCH_1} is '${output}', not '${CMAKE_MATCH_2}'")
    endif()
  endforeach()
  run(dpkg-deb --contents ${package})
  foreach(file IN LISTS want_FILES
      ITEMS /usr/share/doc/${name}/copyright /usr/share/doc/${name}/changelog.Debian.gz)
    if(NOT output MATCHES "\\.${file}[ \n]")
      message(FATAL_ERROR "${name} lacks ${file}:\n${output}")
    endif()
  endforeach()
  message(STATUS "${name}: ok\n${output}")
endfunction()

set(libdir /usr/lib/${MULTIARCH})
set(exact "libhxconsole1 (= ${VERSION}-1)")
check_package(libhxconsole1
  FIELDS Version=${VERSION}-1 Architecture=${ARCH}
  FILES ${libdir}/libhxconsole.so.1)
check_package(libhxconsole-dev
  FIELDS Depends=${exact} Architecture=${ARCH}
  FILES ${libdir}/libhxconsole.so /usr/include/hxconsole/QHxConsole.h
        ${libdir}/cmake/HxConsole/HxConsoleConfig.cmake ${libdir}/pkgconfig/hxconsole.pc
        /usr/share/man/man3/hxconsole.3.gz)
set(tool_files)
string(REPLACE "," ";" TOOLS "${TOOLS}")
foreach(tool IN LISTS TOOLS)
  list(APPEND tool_files /usr/bin/${tool} /usr/share/man/man1/${tool}.1.gz)
endforeach()
check_package(hxconsole-tools FIELDS Architecture=${ARCH} FILES ${tool_files})
# The tools need exactly this library, and dpkg-shlibdeps must have found the C++ runtime.
file(GLOB tools_package ${WORK_DIR}/hxconsole-tools_*.deb)
run(dpkg-deb --field ${tools_package} Depends)
if(NOT output MATCHES "^libhxconsole1 \\(= ${VERSION}-1\\), .*libstdc\\+\\+6")
  message(FATAL_ERROR "hxconsole-tools depends on: ${output}")
endif()

# Every packaged binary has Debian's hardening: a position-independent executable, the stack
# protector, fortified libc calls, and relocations read-only after start-up (relro, bindnow).
# Control-flow protection is not part of Debian 12's default flags, and its start files carry
# no CET marking, so no program linked there has it: hardening-check leaves it out.
if(NOT EXISTS "${HARDENING_CHECK}")
  message(FATAL_ERROR "hardening-check not found: apt-get install devscripts")
endif()
set(root ${WORK_DIR}/root)
file(GLOB packages ${WORK_DIR}/*.deb)
foreach(package IN LISTS packages)
  run(dpkg-deb --extract ${package} ${root})
endforeach()
set(binaries ${root}${libdir}/libhxconsole.so.1)
foreach(tool IN LISTS TOOLS)
  list(APPEND binaries ${root}/usr/bin/${tool})
endforeach()
run(${HARDENING_CHECK} --nocfprotection ${binaries})
message(STATUS "hardening-check:\n${output}")

# The .pc file gives the headers' directory in plain form.
set(ENV{PKG_CONFIG_LIBDIR} ${root}${libdir}/pkgconfig)
unset(ENV{PKG_CONFIG_PATH})
unset(ENV{PKG_CONFIG_SYSROOT_DIR})
run(${PKG_CONFIG} --cflags hxconsole)
string(STRIP "${output}" output)
if(NOT output STREQUAL "-I/usr/include/hxconsole")
  message(FATAL_ERROR "the packaged hxconsole.pc gives '${output}'")
endif()

# lintian's errors fail the check (an rpath or an unstripped binary among them), and so does any
# of its hardening tags, which it shows only among the informational ones; the rest is shown.
if(NOT EXISTS "${LINTIAN}")
  message(FATAL_ERROR "lintian not found: apt-get install lintian")
endif()
file(GLOB packages ${WORK_DIR}/*.deb)
execute_process(COMMAND ${LINTIAN} --display-info --tag-display-limit 0 ${packages}
  RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output TIMEOUT 300)
message(STATUS "lintian:\n${output}")
if(failed OR output MATCHES "(^|\n)E: ")
  message(FATAL_ERROR "lintian reports errors")
endif()
if(output MATCHES "hardening-[a-z-]+")
  message(FATAL_ERROR "lintian finds hardening missing: ${CMAKE_MATCH_0}")
endif()
