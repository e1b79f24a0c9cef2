# hx_when_found(<result> <option> <package> <Debian packages>): whether to build a part that
# needs <package>. The option's AUTO builds it when the package is found; ON requires the
# package and stops, naming the Debian packages to install, when it is missing; OFF skips it.
function(hx_when_found result option package debian_packages)
  set(wanted "${${option}}")
  set(${result} OFF PARENT_SCOPE)
  if(NOT wanted STREQUAL "AUTO" AND NOT wanted)
    return()
  endif()
  find_package(${package} QUIET)
  if(${package}_FOUND)
    set(${result} ON PARENT_SCOPE)
  elseif(wanted STREQUAL "AUTO")
    message(STATUS "${package} not found (Debian: ${debian_packages}): ${option} is off")
  else()
    message(FATAL_ERROR "${option} is ${wanted} but ${package} was not found; on Debian: "
                        "apt-get install ${debian_packages}")
  endif()
endfunction()
