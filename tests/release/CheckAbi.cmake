# Guards the promise of the SONAME: the library's exported interface stays compatible with
# the baseline kept in abi/.
#
#   cmake -DLIBRARY=<built library> -DBASELINE=<abi/libhxconsole.so.N[.ARCH].abi>
#         -DABIDW=<abidw> -DABIDIFF=<abidiff> [-DRENEW=ON]
#         -DSOURCE_DIR=<project> -DWORK_DIR=<scratch directory> -DGENERATOR=<generator>
#         -DCXX=<compiler> [-DTOOLCHAIN=<toolchain file>] -P CheckAbi.cmake
#
# Architectures whose data model gives the classes the same layout share one baseline; abidiff
# would report the ELF architecture it records as a change, so the comparison takes the
# baseline as written for the library's architecture. One whose layout differs (i386: 32-bit
# pointers and longs) has a baseline of its own, named for its Debian architecture.
#
# With RENEW=ON it writes the baseline from LIBRARY instead. Otherwise it compares LIBRARY with
# the baseline, then proves the comparison works: a scratch copy of the sources with one
# class's layout changed must fail it. abidw reads only what the library exports (hidden
# symbols are not in its dynamic symbol table), so internal functions come and go freely.
# Exported functions that are new are compatible and pass (renew the baseline to guard them).

set(abidw_options --no-corpus-path --no-comp-dir-path --no-show-locs)
foreach(tool ABIDW ABIDIFF)
  if(NOT EXISTS "${${tool}}")
    message(FATAL_ERROR "abidw and abidiff not found: apt-get install abigail-tools")
  endif()
endforeach()

if(RENEW)
  execute_process(COMMAND ${ABIDW} ${abidw_options} --out-file ${BASELINE} ${LIBRARY}
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "abidw failed on ${LIBRARY}")
  endif()
  # Source paths relative to the project, so the file does not depend on the checkout.
  file(READ ${BASELINE} abi)
  string(REPLACE "path='${SOURCE_DIR}/" "path='" abi "${abi}")
  file(WRITE ${BASELINE} "${abi}")
  message(STATUS "wrote ${BASELINE}")
  return()
endif()

if(NOT EXISTS ${BASELINE})
  message(FATAL_ERROR "no ABI baseline ${BASELINE} for this SONAME: after a deliberate SONAME "
                      "bump, write one with the abi_baseline target (see the README)")
endif()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

# The baseline, as written for the library's ELF architecture.
execute_process(COMMAND ${ABIDW} ${abidw_options} --out-file ${WORK_DIR}/library.abi ${LIBRARY}
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "abidw failed on ${LIBRARY}")
endif()
file(READ ${WORK_DIR}/library.abi abi)
string(REGEX MATCH "architecture='[^']*'" architecture "${abi}")
file(READ ${BASELINE} abi)
string(REGEX REPLACE "architecture='[^']*'" "${architecture}" abi "${abi}")
set(baseline ${WORK_DIR}/baseline.abi)
file(WRITE ${baseline} "${abi}")

# compare(<library> <result>): abidiff's exit status against the baseline; its report is shown.
function(compare library result)
  execute_process(COMMAND ${ABIDIFF} --no-added-syms ${baseline} ${library}
    RESULT_VARIABLE status OUTPUT_VARIABLE report ERROR_VARIABLE report TIMEOUT 300)
  message(STATUS "abidiff ${BASELINE} ${library}: ${status}\n${report}")
  set(${result} ${status} PARENT_SCOPE)
endfunction()

compare(${LIBRARY} status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the library's ABI differs from ${BASELINE}")
endif()

# The deliberate incompatible change: a member in front of QHxSimpleCrypt's rows moves them
# and makes the class larger, which callers that allocate it would not know.
function(run)
  execute_process(COMMAND ${ARGN}
    INPUT_FILE /dev/null RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output
    TIMEOUT 300)
  if(failed)
    message(FATAL_ERROR "${ARGN} failed (${failed}):\n${output}")
  endif()
endfunction()

set(copy ${WORK_DIR}/source)
file(GLOB entries LIST_DIRECTORIES true ${SOURCE_DIR}/*)
list(FILTER entries EXCLUDE REGEX "/(build|\\.git)$")
file(COPY ${entries} DESTINATION ${copy})

set(header ${copy}/crypt/QSimpleCrypt.h)
file(READ ${header} text)
string(FIND "${text}" "  private:\n" at)
if(at EQUAL -1)
  message(FATAL_ERROR "no private section in ${header} to change")
endif()
string(REPLACE "  private:\n" "  private:\n    [[maybe_unused]] int m_abiProbe;\n" text "${text}")
file(WRITE ${header} "${text}")

set(toolchain_option)
if(TOOLCHAIN)
  set(toolchain_option -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
run(${CMAKE_COMMAND} -S ${copy} -B ${WORK_DIR}/build -G ${GENERATOR}
  -DCMAKE_CXX_COMPILER=${CXX} ${toolchain_option} -DCMAKE_BUILD_TYPE=RelWithDebInfo
  -DHXCONSOLE_BUILD_TESTS=OFF -DHXCONSOLE_BUILD_BENCHMARKS=OFF
  -DHXCONSOLE_BUILD_TOOLS=OFF -DHXCONSOLE_INSTALL=OFF)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build --target hxconsole --parallel 2)
compare(${WORK_DIR}/build/libhxconsole.so.1 status)
math(EXPR changed "${status} & 4")
if(NOT changed)
  message(FATAL_ERROR "abidiff missed a changed class layout (exit status ${status})")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
message(STATUS "the changed layout was caught; the scratch copy is gone")
